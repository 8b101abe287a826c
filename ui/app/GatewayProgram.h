#pragma once
// The kavonet program from start to end, in this order: the single-instance guard (a
// second start hands over its command line and ends), the automation switches, the
// title, the controller and its front (window or headless), the automation object and
// the command channel, the event loop; at the end everything in reverse.

namespace kavonet::app {

int RunGatewayProgram(int argc, char** argv);

}  // namespace kavonet::app
