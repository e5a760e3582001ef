#include "omron_fins_tcpip.h"

Protocol* ComCommunication() { return nullptr; }
