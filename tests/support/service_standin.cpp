#include "tests/support/service_standin.hpp"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "standins/http/client.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;

// Bounds the wait for the "PORT" line of a stand-in that neither starts nor ends.
constexpr auto START_LIMIT = 30s;

ChildOptions lf_standinOptions(const TempDir& dir, const nlohmann::json& scenario, const std::filesystem::path& site)
{
    writeFile(dir / "scenario.json", scenario.dump());
    ChildOptions options;
    options.program = binaryDir() / "standins" / "standin_service";
    options.arguments = {"--scenario", (dir / "scenario.json").string(), "--quit-on-eof"};
    if (!site.empty())
        options.arguments.insert(options.arguments.end(), {"--site", site.string(), "--data",
                                                           (sourceDir() / "standins" / "data").string()});
    options.errorFile = dir / "standin.log";
    return options;
}

}  // namespace

ServiceStandin::ServiceStandin(const nlohmann::json& scenario, const std::filesystem::path& site)
    : child_(lf_standinOptions(dir_, scenario, site))
{
    // Its first line is "PORT <n>"; a stand-in that fails ends instead.
    const std::optional<std::string> line = child_.waitForLineWhileRunning("PORT ", START_LIMIT);
    if (!line)
        throw std::runtime_error("standin_service did not tell its port: " + child_.errorOutput());
    port_ = std::stoi(line->substr(5));
    baseUrl_ = "http://127.0.0.1:" + std::to_string(port_);
}

nlohmann::json ServiceStandin::requests() const
{
    standin_http::Client client("127.0.0.1", port_);
    const standin_http::Result result = client.get("/control/requests");
    if (!result || result->status != 200)
        throw std::runtime_error("GET /control/requests failed");
    return nlohmann::json::parse(result->body);
}

void ServiceStandin::addFault(const nlohmann::json& rule) const
{
    standin_http::Client client("127.0.0.1", port_);
    const standin_http::Result result = client.post("/control/fault", rule.dump(), "application/json");
    if (!result || result->status != 200)
        throw std::runtime_error("POST /control/fault failed: " + rule.dump());
}

int closedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (fd >= 0)
        ::close(fd);  // released again: nothing listens there, so a connection is refused
    if (!bound)
        throw std::runtime_error("cannot find a free loopback port");
    return ntohs(address.sin_port);
}

}  // namespace corv_test
