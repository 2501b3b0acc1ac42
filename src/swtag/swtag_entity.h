// The publisher identity that every tag carries. Both values are build configuration values:
// the CMake cache variables TAG_ENTITY_NAME and TAG_ENTITY_REGID (see CMakeLists.txt).
#pragma once

namespace corvel::swtag {

// The publisher's company name: the software creator, software licensor and tag creator.
const char* TagEntityName();
// The publisher's registration identifier, regid.yyyy-mm.reversed-domain. It names the tag
// directory and begins every tag file name.
const char* TagEntityRegid();

}  // namespace corvel::swtag
