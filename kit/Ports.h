// Loopback ports, for the programs that measure and test the launcher.
#pragma once
#include <string>

// A loopback port nobody listens on right now.
int FreeLoopbackPort();
// Whether a server could take the port now, as the stand-in server takes it (exclusively, on loopback).
bool PortFree(int port);
// GET http://127.0.0.1:port/path; the whole answer, headers included, or "" when nothing answered.
std::string HttpGet(int port, const char* path);
