#!/usr/bin/env python3
"""A Python client of libcorvel_tavlib.so through ctypes, knowing only the C interface.

Usage: ctypes_client.py <path of libcorvel_tavlib.so>

Two scenarios, each in a fresh process (the library keeps process-wide state):
  with-services     the library beside its services library: instances, log and store
  without-services  a copy of the library alone in a folder: every services call fails,
                    the instance still works, and the debugger output shows one failure
                    line per services call in the order the library makes them
"""
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile

TAGGING_NONE, TAGGING_AT_COMMIT = 0, 1
NO_INSTANCE, INVALID_ARGUMENT = 4, 9


def bind(path):
    lib = ctypes.CDLL(path)
    handle = ctypes.c_void_p
    lib.Corvel_TAVLib_CreateRef.restype = handle
    lib.Corvel_TAVLib_CreateRef.argtypes = []
    lib.Corvel_TAVLib_ReleaseRef.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_ReleaseRef.argtypes = [handle, ctypes.c_int32]
    lib.Corvel_TAVLib_GetRefID.restype = ctypes.c_int32
    lib.Corvel_TAVLib_GetRefID.argtypes = [handle]
    int_out = ctypes.POINTER(ctypes.c_int32)
    lib.Corvel_TAVLib_Getversion.restype = None
    lib.Corvel_TAVLib_Getversion.argtypes = [int_out, int_out, int_out,
                                             ctypes.POINTER(ctypes.c_char_p)]
    text = ctypes.c_char_p
    lib.Corvel_TAVLib_SetApplicationData.restype = ctypes.c_uint32
    lib.Corvel_TAVLib_SetApplicationData.argtypes = [handle, text, text, text, text, text,
                                                     ctypes.c_int32]
    return lib


def make_scratch():
    root = tempfile.mkdtemp(prefix="corvel-ctypes-")
    for name in ("tmp", "common_appdata", "common_files", "local_appdata"):
        os.mkdir(os.path.join(root, name))
    os.environ["TMPDIR"] = os.path.join(root, "tmp")
    os.environ["CORVEL_COMMON_APPDATA"] = os.path.join(root, "common_appdata")
    os.environ["CORVEL_COMMON_FILES"] = os.path.join(root, "common_files")
    os.environ["CORVEL_LOCAL_APPDATA"] = os.path.join(root, "local_appdata")
    os.environ["ZEP_PCD_DB"] = os.path.join(root, "pcd.db")
    os.environ["ZEP_DEBUG_OUTPUT"] = os.path.join(root, "debug.log")
    return root


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return None


def lines_of(text):
    return [line.rstrip("\r") for line in (text or "").split("\n") if line.rstrip("\r")]


def tavlib_messages(log_text):
    marker = " informational TAVLib: "
    return [line.split(marker, 1)[1] for line in lines_of(log_text) if marker in line]


def with_services(library):
    root = make_scratch()
    try:
        lib = bind(library)
        major, minor, patch = ctypes.c_int32(-1), ctypes.c_int32(-1), ctypes.c_int32(-1)
        version = ctypes.c_char_p()
        lib.Corvel_TAVLib_Getversion(ctypes.byref(major), ctypes.byref(minor),
                                     ctypes.byref(patch), ctypes.byref(version))
        assert (major.value, minor.value, patch.value) == (3, 0, 0)
        assert version.value == b"3.0.0.10,3.0", version.value
        lib.Corvel_TAVLib_Getversion(None, None, None, None)

        first = lib.Corvel_TAVLib_CreateRef()
        second = lib.Corvel_TAVLib_CreateRef()
        assert first and second
        assert lib.Corvel_TAVLib_GetRefID(first) == 1
        assert lib.Corvel_TAVLib_GetRefID(second) == 2
        assert lib.Corvel_TAVLib_GetRefID(None) == -1
        assert lib.Corvel_TAVLib_SetApplicationData(
            first, b"DRV", b"PRD", None, b"it_IT", b"PAY", TAGGING_AT_COMMIT) == 0
        assert lib.Corvel_TAVLib_SetApplicationData(
            first, b"DRV", None, None, None, None, TAGGING_NONE) == INVALID_ARGUMENT
        assert lib.Corvel_TAVLib_SetApplicationData(
            None, b"DRV", b"PRD", None, None, None, TAGGING_NONE) == NO_INSTANCE
        assert lib.Corvel_TAVLib_ReleaseRef(first, 1) == 0
        assert lib.Corvel_TAVLib_ReleaseRef(None, 1) == 0
        assert lib.Corvel_TAVLib_ReleaseRef(second, 0) == 0
        third = lib.Corvel_TAVLib_CreateRef()
        assert lib.Corvel_TAVLib_GetRefID(third) == 3
        assert lib.Corvel_TAVLib_ReleaseRef(third, 1) == 0

        assert os.path.exists(os.path.join(root, "pcd.db"))
        log = read(os.path.join(root, "tmp", "tavlib.log"))
        assert log is not None
        assert "__TAVLIB_LOG_FILE__" in log.split("\n", 1)[0]
        messages = tavlib_messages(log)
        assert messages[:3] == ["__TAVLIB_LOG_FILE__",
                                "*************TAVLib Session Starts*************",
                                "Version 3.0.0.10,3.0"], messages
        assert ("TAVLIB SetApplicationData: driverCode = DRV, appProductId = PRD, "
                "driverProductId = , appLocale = it_IT, payloadCode = PAY, tagging = 1"
                in messages), messages
    finally:
        shutil.rmtree(root, ignore_errors=True)


def without_services(library):
    root = make_scratch()
    try:
        alone = os.path.join(root, "alone")
        os.mkdir(alone)
        copy = os.path.join(alone, "libcorvel_tavlib.so")
        shutil.copy(library, copy)
        os.chdir(alone)
        lib = bind(copy)

        handle = lib.Corvel_TAVLib_CreateRef()
        assert handle
        assert lib.Corvel_TAVLib_GetRefID(handle) == 1
        assert lib.Corvel_TAVLib_ReleaseRef(handle, 1) == 0

        assert read(os.path.join(root, "tmp", "tavlib.log")) is None
        assert not os.path.exists(os.path.join(root, "pcd.db"))
        logv = "Logging: failed to find C_ZEPLogv"
        expected = [
            "ServiceLoader: Failed to find libzepservices.so",
            "ServiceLoader: ERROR: base services library failed to load",
            "Logging: failed to find C_ZEPLoggerCreateFileLoggerWithPathAndSize",
            logv,  # session start banner
            logv,  # version
            logv,  # commit started
            "PCDService: failed to find C_ZEPPCDServiceCreate",
            logv,  # commit ended
            logv,  # session end banner
        ]
        debug = lines_of(read(os.path.join(root, "debug.log")))
        assert debug == expected, "\n".join(debug)
    finally:
        os.chdir("/")
        shutil.rmtree(root, ignore_errors=True)


def main():
    library = os.path.abspath(sys.argv[1])
    if len(sys.argv) == 3:
        {"with-services": with_services, "without-services": without_services}[sys.argv[2]](library)
        return 0
    status = 0
    for scenario in ("with-services", "without-services"):
        result = subprocess.run([sys.executable, os.path.abspath(__file__), library, scenario])
        if result.returncode != 0:
            print(f"scenario {scenario} failed", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
