// The exports live in the subsystem libraries, which the shared library takes whole.
// This translation unit only gives the shared-library target a source of its own.
