#include "run/Run.h"

int main(int argc, char** argv) { return telvo::RunTelvoRank(argc, argv); }
