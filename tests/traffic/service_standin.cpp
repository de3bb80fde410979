#include "tests/traffic/service_standin.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include <httplib.h>

extern char** environ;

namespace corv_test {

ServiceStandin::ServiceStandin(const nlohmann::json& scenario)
{
    writeFile(dir_ / "scenario.json", scenario.dump());
    const std::string program = (binaryDir() / "standins" / "standin_service").string();
    const std::string scenarioPath = (dir_ / "scenario.json").string();
    const std::string logPath = (dir_ / "standin.log").string();
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    const char* argv[] = {program.c_str(), "--scenario", scenarioPath.c_str(), "--quit-on-eof", nullptr};
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    stdinFd_ = toChild[1];
    // Its first line is "PORT <n>"; a stand-in that fails ends and closes the pipe instead.
    FILE* out = ::fdopen(fromChild[0], "r");
    if (spawned != 0 || out == nullptr || std::fscanf(out, "PORT %d", &port_) != 1) {
        if (out != nullptr)
            std::fclose(out);
        end();
        throw std::runtime_error("standin_service did not start: see " + logPath);
    }
    std::fclose(out);
    baseUrl_ = "http://127.0.0.1:" + std::to_string(port_);
}

ServiceStandin::~ServiceStandin() { end(); }

void ServiceStandin::end()
{
    // The end of its standard input tells the stand-in to quit.
    ::close(stdinFd_);
    if (pid_ > 0)
        ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

nlohmann::json ServiceStandin::requests() const
{
    httplib::Client client("127.0.0.1", port_);
    const httplib::Result result = client.Get("/control/requests");
    if (!result || result->status != 200)
        throw std::runtime_error("GET /control/requests failed");
    return nlohmann::json::parse(result->body);
}

void ServiceStandin::addFault(const nlohmann::json& rule) const
{
    httplib::Client client("127.0.0.1", port_);
    const httplib::Result result = client.Post("/control/fault", rule.dump(), "application/json");
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
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot find a free loopback port");
    ::close(fd);  // released again: nothing listens there, so a connection is refused
    return ntohs(address.sin_port);
}

}  // namespace corv_test
