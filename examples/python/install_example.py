#!/usr/bin/env python3
"""An installer step written in Python against corvel_tavlib, through ctypes.

Writes a product's configuration document, records it for a payload, records the accepted
agreement and commits; reads the records back; uninstalls the payload and sees them go.

    install_example.py [--library PATH] WORK_FOLDER

PATH is the library file (default: libcorvel_tavlib.so.3 found the usual way). The store, the
logs and the tag directory follow the environment (ZEP_PCD_DB, TMPDIR, CORVEL_COMMON_APPDATA).
Exit status 0 when every step did what it should.
"""
import argparse
import ctypes
import os
import sys

PAYLOAD = b"EXAMPLE-PAYLOAD-200"
PRODUCT = b"EXAMPLE-PRODUCT-200"
SUCCESS = 0
STORE_FAILED = 10

DOCUMENT = (
    '<?xml version="1.0" encoding="utf-8"?>\n'
    "<Configuration>\n"
    "  <Payload>\n"
    '    <Data key="LicensingCode">EXAMPLE-PRODUCT-200</Data>\n'
    '    <Data key="Edition" protected="0">Standard</Data>\n'
    "  </Payload>\n"
    "</Configuration>\n"
)


def load(path):
    """The library with the prototypes of the exports this example calls."""
    lib = ctypes.CDLL(path)
    handle = ctypes.c_void_p
    text = ctypes.c_char_p
    lib.Corvel_TAVLib_CreateRef.argtypes = []
    lib.Corvel_TAVLib_CreateRef.restype = handle
    lib.Corvel_TAVLib_ReleaseRef.argtypes = [handle, ctypes.c_int32]
    lib.Corvel_TAVLib_ReleaseRef.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_Getversion.argtypes = [ctypes.POINTER(ctypes.c_int32)] * 3 + [ctypes.POINTER(text)]
    lib.Corvel_TAVLib_Getversion.restype = None
    lib.Corvel_TAVLib_Process_file.argtypes = [handle, text, text, text, text]
    lib.Corvel_TAVLib_Process_file.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_Set_Eula.argtypes = [handle, text, text]
    lib.Corvel_TAVLib_Set_Eula.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_Remove_payload.argtypes = [handle, text]
    lib.Corvel_TAVLib_Remove_payload.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_GetValueforKeyInSubDomain.argtypes = [
        handle, ctypes.POINTER(text), ctypes.c_int32, text, text, ctypes.c_int32, ctypes.c_bool]
    lib.Corvel_TAVLib_GetValueforKeyInSubDomain.restype = ctypes.c_uint32
    return lib


class Instance:
    """One library instance, released exactly once (with commit when asked)."""

    def __init__(self, lib):
        self.lib = lib
        self.handle = lib.Corvel_TAVLib_CreateRef()
        if not self.handle:
            raise RuntimeError("Corvel_TAVLib_CreateRef gave no instance")
        self.commit = False

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.lib.Corvel_TAVLib_ReleaseRef(self.handle, 1 if self.commit else 0)

    def read(self, key, subdomain):
        """(status, value) of an unprotected key; the value is copied out of the instance."""
        value = ctypes.c_char_p()
        status = self.lib.Corvel_TAVLib_GetValueforKeyInSubDomain(
            self.handle, ctypes.byref(value), 512, key, subdomain, 1, False)
        return status, (value.value or b"").decode()


def expect(step, status, wanted=SUCCESS):
    print(f"{step:40} status {status}")
    if status != wanted:
        raise RuntimeError(f"{step} answered {status}, expected {wanted}")


def run(lib, folder):
    config = os.path.join(folder, "application.xml")
    with open(config, "w", encoding="utf-8") as out:
        out.write(DOCUMENT)

    major, minor, patch = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
    version = ctypes.c_char_p()
    lib.Corvel_TAVLib_Getversion(ctypes.byref(major), ctypes.byref(minor), ctypes.byref(patch),
                                 ctypes.byref(version))
    print(f"corvel_tavlib {major.value}.{minor.value}.{patch.value} ({version.value.decode()})")

    with Instance(lib) as install:
        expect("Corvel_TAVLib_Process_file",
               lib.Corvel_TAVLib_Process_file(install.handle, config.encode(), PAYLOAD, None, None))
        expect("Corvel_TAVLib_Set_Eula", lib.Corvel_TAVLib_Set_Eula(install.handle, b"en_US", PRODUCT))
        install.commit = True

    with Instance(lib) as uninstall:
        status, edition = uninstall.read(b"Edition", PAYLOAD)
        expect("read Edition", status)
        status, accepted = uninstall.read(b"EULA_ACCEPTED", PRODUCT)
        expect("read EULA_ACCEPTED", status)
        print(f"Edition = {edition}, EULA_ACCEPTED = {accepted}")
        if (edition, accepted) != ("Standard", "1"):
            raise RuntimeError("the records read back are not the ones written")
        expect("Corvel_TAVLib_Remove_payload", lib.Corvel_TAVLib_Remove_payload(uninstall.handle, PAYLOAD))
        expect("read Edition after removal", uninstall.read(b"Edition", PAYLOAD)[0], STORE_FAILED)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", default="libcorvel_tavlib.so.3", help="the library file")
    parser.add_argument("folder", help="where the configuration document is written")
    args = parser.parse_args()
    try:
        run(load(args.library), args.folder)
    except (OSError, RuntimeError) as error:
        print(f"install_example: {error}", file=sys.stderr)
        return 1
    print("install_example: done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
