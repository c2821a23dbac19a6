#include "tool/tool_main.h"

int main(int argc, char** argv) { return rq::tool_main(argc, argv); }
