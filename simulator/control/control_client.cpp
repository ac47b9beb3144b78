#include "control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <variant>

#include "UniqueFd.h"
#include "control_protocol.h"

namespace tindrel::control {

namespace {

// Loading a big rig may take a while; nothing else comes close.
constexpr std::chrono::seconds kReplyTimeout(60);
// Replies carry at most the device list; anything bigger is not ours.
constexpr size_t kMaxReply = 64u * 1024 * 1024;

CommandLine usageError(std::string error)
{
    CommandLine line;
    line.kind = CommandLine::Kind::Usage;
    line.error = std::move(error);
    return line;
}

std::optional<pid_t> parsePid(const std::string &text)
{
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value <= 0 || value > 0x7FFFFFFF)
        return std::nullopt;
    return static_cast<pid_t>(value);
}

// Splits "--name=value"; for "--name" takes the next argument.
bool optionValue(const std::vector<std::string> &args, size_t &i, const std::string &name, std::string &value,
                 std::string &error)
{
    const std::string &arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg.starts_with(name + "=")) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

bool waitReady(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

}   // namespace

std::string usageText()
{
    return "usage: tindrelsim [--socket PATH | --pid PID] COMMAND [ARGS...]\n"
           "\n"
           "Plugs and unplugs simulated devices in a running program that uses the\n"
           "simulated device library (the control panel). Without --socket or --pid\n"
           "the one running program is found by its socket.\n"
           "\n"
           "commands:\n" +
           commandUsage() +
           "\n"
           "channelClass is the channel class number (5 digital input, 6 digital output,\n"
           "29 voltage input, ...); code may be decimal or 0x hexadecimal.\n"
           "Exit status: 0 done, 1 the program refused or cannot be reached, 2 bad arguments.\n";
}

CommandLine parseCommandLine(const std::vector<std::string> &args, const std::string &cwd)
{
    CommandLine line;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "-h" || arg == "--help") {
            line.kind = CommandLine::Kind::Help;
            return line;
        }
        if (arg == "--")
            break;
        if (!arg.starts_with("-"))
            break;
        std::string value;
        std::string error;
        if (optionValue(args, i, "--socket", value, error)) {
            if (!error.empty())
                return usageError(error);
            if (value.empty())
                return usageError("--socket needs a path");
            line.socketPath = value;
        } else if (optionValue(args, i, "--pid", value, error)) {
            if (!error.empty())
                return usageError(error);
            line.pid = parsePid(value);
            if (!line.pid)
                return usageError("--pid needs a process ID, not '" + value + "'");
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (i < args.size() && args[i] == "--")
        ++i;
    if (!line.socketPath.empty() && line.pid)
        return usageError("give either --socket or --pid, not both");
    if (i >= args.size())
        return usageError("no command given");

    const std::string &command = args[i];
    const CommandSpec *entry = findCommand(command);
    if (entry == nullptr)
        return usageError("unknown command '" + command + "'");
    std::vector<std::string> commandArgs(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    const auto params = entry->parameters();
    for (size_t a = 0; a < commandArgs.size() && a < params.size(); ++a) {
        std::string &value = commandArgs[a];
        if (params[a].kind != ArgKind::Path || value.empty() || value.front() == '/')
            continue;
        if (cwd.empty())
            return usageError("cannot tell the current directory; give <" + std::string(params[a].name) +
                              "> as an absolute path");
        value = cwd + "/" + value;
    }
    line.requestLine = buildRequestLine(command, commandArgs);
    // The server's own parser judges the arguments, so the tool refuses
    // exactly what the server would.
    auto parsed = parseRequest(line.requestLine);
    if (const auto *error = std::get_if<ProtocolError>(&parsed))
        return usageError(error->detail);
    line.kind = CommandLine::Kind::Run;
    return line;
}

Exchange exchange(const std::string &socketPath, const std::string &requestLine, std::chrono::milliseconds timeout)
{
    Exchange result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        result.error = "socket path " + socketPath + " is too long";
        return result;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd || connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        result.error = "cannot connect to " + socketPath + ": " + std::strerror(errno);
        return result;
    }
    const std::string request = requestLine + "\n";
    size_t sent = 0;
    while (sent < request.size()) {
        if (!waitReady(fd.get(), POLLOUT, deadline)) {
            result.error = "timed out sending to " + socketPath;
            return result;
        }
        const ssize_t n = send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            result.error = "cannot send to " + socketPath + ": " + std::strerror(errno);
            return result;
        }
        if (n > 0)
            sent += static_cast<size_t>(n);
    }
    std::string reply;
    while (true) {
        if (!waitReady(fd.get(), POLLIN, deadline)) {
            result.error = "no reply from " + socketPath + " in time";
            return result;
        }
        char chunk[16384];
        const ssize_t n = recv(fd.get(), chunk, sizeof chunk, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            result.error = "cannot read the reply from " + socketPath + ": " + std::strerror(errno);
            return result;
        }
        if (n == 0)
            break;
        reply.append(chunk, static_cast<size_t>(n));
        if (reply.find('\n') != std::string::npos)
            break;
        if (reply.size() > kMaxReply) {
            result.error = "the reply from " + socketPath + " is too long";
            return result;
        }
    }
    const size_t newline = reply.find('\n');
    if (newline == std::string::npos) {
        result.error = "the connection to " + socketPath + " closed before a whole reply arrived";
        return result;
    }
    reply.resize(newline);
    result.delivered = true;
    result.reply = std::move(reply);
    return result;
}

int runTool(const std::vector<std::string> &args, const SocketEnvironment &env, const std::string &cwd,
            std::ostream &out, std::ostream &err)
{
    const CommandLine line = parseCommandLine(args, cwd);
    switch (line.kind) {
    case CommandLine::Kind::Help:
        out << usageText();
        return kExitOk;
    case CommandLine::Kind::Usage:
        err << "tindrelsim: " << line.error << "\n\n" << usageText();
        return kExitUsage;
    case CommandLine::Kind::Run:
        break;
    }

    std::string socketPath = line.socketPath;
    if (socketPath.empty()) {
        const SocketChoice choice =
            line.pid ? socketForPid(env, *line.pid) : chooseSocket(findSockets(env), &processIsAlive);
        if (choice.path.empty()) {
            err << "tindrelsim: " << choice.error << "\n";
            return choice.ambiguous ? kExitUsage : kExitFailed;
        }
        socketPath = choice.path;
    }

    const Exchange result = exchange(socketPath, line.requestLine, kReplyTimeout);
    if (!result.delivered) {
        err << "tindrelsim: " << result.error << "\n";
        return kExitFailed;
    }
    const std::optional<Reply> reply = parseReply(result.reply);
    if (!reply) {
        err << "tindrelsim: unexpected reply: " << result.reply << "\n";
        return kExitFailed;
    }
    if (!reply->ok) {
        err << "tindrelsim: " << reply->text << " (code " << reply->code << ")\n";
        return kExitFailed;
    }
    if (!reply->text.empty())
        out << reply->text << "\n";
    return kExitOk;
}

}   // namespace tindrel::control
