#include "child_process.h"

int main(int argc, char** argv) { return corvel::test::TestMain(argc, argv); }
