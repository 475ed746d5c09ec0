#include "run/Run.h"

int main(int argc, char** argv) { return telvo::RunTelvo(argc, argv); }
