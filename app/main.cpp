// Wirelark: a desktop tool for testing network programs by hand over IPv4 and IPv6.
#include "app/chat_app.h"

int main(int argc, char** argv) {
    return theApp.Run(argc, argv);
}
