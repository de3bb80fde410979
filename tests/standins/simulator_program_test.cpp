// The simulator stand-in as a program: started as the tests and the demo start it, reached with
// raw sockets and hand-built packets.
#include "tests/standins/simulator_wire_helpers.hpp"
#include "tests/support/temp_dir.hpp"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace sim_wire;
using namespace std::chrono_literals;

// Bounds every wait so that a broken stand-in fails the test instead of hanging it.
constexpr auto kPatience = 30s;

class StandinProcess {
public:
    StandinProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
        }
        for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
        const std::string program = (corv_test::binaryDir() / "standins" / "standin_simulator").string();
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argvPtrs, envPtrs;
        for (auto& a : argv) argvPtrs.push_back(a.data());
        argvPtrs.push_back(nullptr);
        for (auto& e : environment) envPtrs.push_back(e.data());
        envPtrs.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            ::execve(program.c_str(), argvPtrs.data(), envPtrs.data());
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        stdin_ = toChild[1];
        stdout_ = fromChild[0];
    }

    ~StandinProcess() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0 && !exitCode_ && !waitExit(5s)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
    }

    std::optional<std::string> readLine() {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (true) {
            if (auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            pollfd p{stdout_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            char chunk[512];
            const ssize_t got = ::read(stdout_, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    void writeLine(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    std::optional<int> waitExit(std::chrono::milliseconds patience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return exitCode_;
            }
            ::usleep(10000);
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string buffer_;
    std::optional<int> exitCode_;
};

int connectTcp(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int connectPipe(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads messages until one of the id arrives (its bytes), the peer closes or patience ends.
std::optional<Bytes> awaitMessage(int fd, std::uint32_t id, bool* closed = nullptr) {
    Bytes stream;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& m : splitMessages(stream)) {
            if (messageId(m) == id) return m;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        std::uint8_t chunk[4096];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) {
            if (closed) *closed = true;
            break;
        }
        stream.insert(stream.end(), chunk, chunk + got);
    }
    for (const auto& m : splitMessages(stream)) {
        if (messageId(m) == id) return m;
    }
    return std::nullopt;
}

bool sendAll(int fd, const Bytes& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

TEST(SimulatorProgram, PublishesItsEndpointsAndAnswersOpenOnTcpAndPipe) {
    corv_test::TempDir dir;
    const auto registry = dir / "registry.txt";
    corv_test::writeFile(registry, "HKEY_CURRENT_USER\\Other\\Kept=yes\n");
    StandinProcess standin({"--journal", (dir / "journal.jsonl").string(), "--transports", "pipe,ipv4"},
                           {{"CORV_REGISTRY_FILE", registry.string()}, {"XDG_RUNTIME_DIR", dir.path().string()}});
    std::map<std::string, std::string> announced;
    for (auto line = standin.readLine(); line && *line != "READY"; line = standin.readLine()) {
        const auto space = line->find(' ');
        announced[line->substr(0, space)] = line->substr(space + 1);
    }
    ASSERT_EQ(announced.count("PORT"), 1u);
    ASSERT_EQ(announced.count("PIPE"), 1u);
    EXPECT_EQ(announced.count("PORT6"), 0u);
    EXPECT_EQ(announced["PIPE"], (dir / "__._pipe_Lockheed_Martin_Prepar3D_v5_SimConnect.sock").string());
    const std::string published = corv_test::readFile(registry);
    EXPECT_NE(published.find("HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\SimConnect_Port_IPv4=" +
                             announced["PORT"] + "\n"),
              std::string::npos);
    EXPECT_NE(published.find("HKEY_CURRENT_USER\\Other\\Kept=yes\n"), std::string::npos);

    const int tcp = connectTcp(static_cast<std::uint16_t>(std::stoi(announced["PORT"])));
    const int pipe = connectPipe(announced["PIPE"]);
    ASSERT_GE(tcp, 0);
    ASSERT_GE(pipe, 0);
    ASSERT_TRUE(sendAll(tcp, openPacket(1, "Corv_P3D")));
    ASSERT_TRUE(sendAll(pipe, openPacket(1, "Other Client")));
    for (int fd : {tcp, pipe}) {
        const auto open = awaitMessage(fd, 2);
        ASSERT_TRUE(open.has_value());
        EXPECT_NE(text(*open, 12).find("v5"), std::string::npos);
        EXPECT_EQ(u32(*open, 268), 5u);
    }

    standin.writeLine("quit");
    EXPECT_EQ(standin.readLine(), "OK quit");
    bool closed = false;
    EXPECT_TRUE(awaitMessage(tcp, 3, &closed).has_value());
    EXPECT_EQ(standin.waitExit(kPatience), 0);
    ::close(tcp);
    ::close(pipe);

    const std::string journal = corv_test::readFile(dir / "journal.jsonl");
    EXPECT_NE(journal.find(R"("packet":"Open")"), std::string::npos);
    EXPECT_NE(journal.find(R"("clientName":"Corv_P3D")"), std::string::npos);
    EXPECT_NE(journal.find(R"("kind":"quit")"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(announced["PIPE"]));  // the socket goes with the simulator
}

TEST(SimulatorProgram, DropClosesClientsButKeepsListening) {
    corv_test::TempDir dir;
    StandinProcess standin({"--transports", "ipv4"}, {{"CORV_REGISTRY_FILE", (dir / "registry.txt").string()}});
    std::string port;
    for (auto line = standin.readLine(); line && *line != "READY"; line = standin.readLine()) {
        if (line->rfind("PORT ", 0) == 0) port = line->substr(5);
    }
    ASSERT_FALSE(port.empty());
    const int first = connectTcp(static_cast<std::uint16_t>(std::stoi(port)));
    ASSERT_TRUE(sendAll(first, openPacket(1, "Corv_P3D")));
    ASSERT_TRUE(awaitMessage(first, 2).has_value());

    standin.writeLine("drop");
    EXPECT_EQ(standin.readLine(), "OK drop");
    bool closed = false;
    EXPECT_FALSE(awaitMessage(first, 3, &closed).has_value());  // dropped, not quit
    EXPECT_TRUE(closed);
    ::close(first);

    const int second = connectTcp(static_cast<std::uint16_t>(std::stoi(port)));
    ASSERT_TRUE(sendAll(second, openPacket(1, "Corv_P3D")));
    EXPECT_TRUE(awaitMessage(second, 2).has_value());
    ::close(second);
    standin.writeLine("teleport 91 0");
    EXPECT_EQ(standin.readLine()->rfind("ERROR", 0), 0u);
}

}  // namespace
