#include "link/endpoint.h"

#include <ctime>
#include <stdexcept>

namespace {
Endpoint* theEndpoint = nullptr;
}

std::string UtcText(int64_t seconds)
{
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

void SetEndpoint(Endpoint* endpoint) { theEndpoint = endpoint; }

Endpoint& UDP()
{
    if (!theEndpoint) throw std::logic_error("no UDP endpoint");
    // The socket is bound on first use and stays bound until the endpoint is destroyed.
    if (!theEndpoint->IsBound()) theEndpoint->Bind(kUdpPort);
    return *theEndpoint;
}
