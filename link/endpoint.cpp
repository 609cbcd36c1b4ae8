#include "link/endpoint.h"

#include <stdexcept>

namespace {
Endpoint* theEndpoint = nullptr;
}

void SetEndpoint(Endpoint* endpoint) { theEndpoint = endpoint; }

Endpoint& UDP()
{
    if (!theEndpoint) throw std::logic_error("no UDP endpoint");
    // The socket is bound on first use and stays bound until the endpoint is destroyed.
    if (!theEndpoint->IsBound()) theEndpoint->Bind(kUdpPort);
    return *theEndpoint;
}
