#include "swtag/swtag_entity.h"

#ifndef CORVEL_TAG_ENTITY_NAME
#error "CORVEL_TAG_ENTITY_NAME must come from the build (TAG_ENTITY_NAME)"
#endif
#ifndef CORVEL_TAG_ENTITY_REGID
#error "CORVEL_TAG_ENTITY_REGID must come from the build (TAG_ENTITY_REGID)"
#endif

namespace corvel::swtag {

const char* TagEntityName() { return CORVEL_TAG_ENTITY_NAME; }
const char* TagEntityRegid() { return CORVEL_TAG_ENTITY_REGID; }

}  // namespace corvel::swtag
