#include "pages/set_udp_server_ip.h"
