// standin_service: the traffic service and the download site on 127.0.0.1 for tests and the demo.
#include "standins/service/app.hpp"

int main(int argc, char** argv) { return service_standin::runServiceMain(argc, argv); }
