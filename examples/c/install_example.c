/*
 * install_example.c - an installer step written in C99 against corvel_tavlib:
 * write a product's configuration document, record it for a payload, record the accepted
 * agreement, commit; read the records back; uninstall the payload and see them go.
 *
 *   install_example WORK_FOLDER
 *
 * The document is written into WORK_FOLDER. The store, the logs and the tag directory follow
 * the environment (ZEP_PCD_DB, TMPDIR, CORVEL_COMMON_APPDATA): point them at scratch folders
 * to try this without touching the machine-wide ones. Exit status 0 when every step did what
 * it should.
 */
#include <stdbool.h>
#include <stdio.h>
#include <string.h>

#include "corvel_tavlib.h"

#define PAYLOAD "EXAMPLE-PAYLOAD-100"
#define PRODUCT "EXAMPLE-PRODUCT-100"

static const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Configuration>\n"
    "  <Payload>\n"
    "    <Data key=\"LicensingCode\">" PRODUCT
    "</Data>\n"
    "    <Data key=\"Edition\" protected=\"0\">Standard</Data>\n"
    "  </Payload>\n"
    "</Configuration>\n";

static bool Expect(const char* step, uint32_t status, uint32_t expected) {
  printf("%-40s status %u\n", step, (unsigned)status);
  if (status != expected) {
    fprintf(stderr, "install_example: %s answered %u, expected %u\n", step, (unsigned)status,
            (unsigned)expected);
    return false;
  }
  return true;
}

/* Reads an unprotected value into `out` (empty when there is none); the library's status. */
static uint32_t ReadValue(TAVLibHandle handle, const char* key, const char* subdomain, char* out,
                          size_t size) {
  const char* value = NULL;
  uint32_t status =
      Corvel_TAVLib_GetValueforKeyInSubDomain(handle, &value, 512, key, subdomain, 1, false);
  /* The text belongs to the instance: copy it before the next call. */
  snprintf(out, size, "%s", (status == kTAVLibSuccess && value) ? value : "");
  return status;
}

static bool WriteDocument(const char* path) {
  FILE* file = fopen(path, "wb");
  if (!file) return false;
  bool written = fputs(kDocument, file) >= 0;
  return fclose(file) == 0 && written;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: install_example WORK_FOLDER\n");
    return 2;
  }
  char config[1024];
  snprintf(config, sizeof config, "%s/application.xml", argv[1]);
  if (!WriteDocument(config)) {
    fprintf(stderr, "install_example: cannot write %s\n", config);
    return 1;
  }

  int32_t major = 0, minor = 0, patch = 0;
  const char* version = "";
  Corvel_TAVLib_Getversion(&major, &minor, &patch, &version);
  printf("corvel_tavlib %d.%d.%d (%s)\n", (int)major, (int)minor, (int)patch, version);

  /* Installation: one instance, released with commit so the agreement is written. */
  TAVLibHandle install = Corvel_TAVLib_CreateRef();
  if (!install) return 1;
  bool ok = Expect("Corvel_TAVLib_Process_file",
                   Corvel_TAVLib_Process_file(install, config, PAYLOAD, NULL, NULL), 0) &&
            Expect("Corvel_TAVLib_Set_Eula", Corvel_TAVLib_Set_Eula(install, "en_US", PRODUCT), 0);
  Corvel_TAVLib_ReleaseRef(install, ok ? 1 : 0);
  if (!ok) return 1;

  /* Read the records back, then uninstall. */
  TAVLibHandle uninstall = Corvel_TAVLib_CreateRef();
  if (!uninstall) return 1;
  char edition[512], accepted[512];
  ok = Expect("read Edition", ReadValue(uninstall, "Edition", PAYLOAD, edition, sizeof edition),
              0) &&
       Expect("read EULA_ACCEPTED",
              ReadValue(uninstall, "EULA_ACCEPTED", PRODUCT, accepted, sizeof accepted), 0);
  printf("Edition = %s, EULA_ACCEPTED = %s\n", edition, accepted);
  ok = ok && strcmp(edition, "Standard") == 0 && strcmp(accepted, "1") == 0;
  ok = ok &&
       Expect("Corvel_TAVLib_Remove_payload", Corvel_TAVLib_Remove_payload(uninstall, PAYLOAD), 0);
  /* Nothing is stored there any more: the read is refused. */
  ok = ok && Expect("read Edition after removal",
                    ReadValue(uninstall, "Edition", PAYLOAD, edition, sizeof edition),
                    kTAVLibStoreFailed);
  Corvel_TAVLib_ReleaseRef(uninstall, 0);
  puts(ok ? "install_example: done" : "install_example: FAILED");
  return ok ? 0 : 1;
}
