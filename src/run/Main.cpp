#include "run/Run.h"

int main(int argc, char** argv) { return RunTelvo(argc, argv); }
