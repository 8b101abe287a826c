#include "ui/app/GatewayProgram.h"

int main(int argc, char** argv) { return kavonet::app::RunGatewayProgram(argc, argv); }
