// CSetUdpServerIp: placeholder until the UDP endpoint dialog is built.
#pragma once
