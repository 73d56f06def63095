#include "shop/DemoAlbum.h"
#include "shop/FaultProxy.h"
#include "shop/ShopServer.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <pthread.h>

namespace {

using tovari::shop::ShopOptions;

std::filesystem::path DefaultDataFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::filesystem::path(data) / "tovari-shop";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local/share/tovari-shop";
}

void PrintUsage(std::ostream& out)
{
    out << "usage: tovari-shop [--data DIR] [--port N] [--host ADDRESS] [--order-cap N] [--quiet] [--fault RULE]\n"
           "       tovari-shop --version | --help\n"
           "  --data DIR       state folder (default ~/.local/share/tovari-shop)\n"
           "  --port N         TCP port (default 8931; 0 picks a free one)\n"
           "  --host ADDRESS   address to listen on (default 127.0.0.1)\n"
           "  --order-cap N    photos one session's order may hold (default 3000)\n"
           "  --quiet          do not log requests\n"
           "  --fault RULE     misbehave on purpose: [keep-alive,]KIND[:MS][@PATH-PART][^SKIP][*TIMES],\n"
           "                   KIND one of drop, stall:MS, 500, not-http, endless, lost-reply\n"
           "                   (e.g. stall:5000@wi_login.php*1)\n";
}

int ParseNumber(const std::string& text, const char* option, int smallest)
{
    try {
        std::size_t used = 0;
        int value = std::stoi(text, &used);
        if (used == text.size() && value >= smallest)
            return value;
    } catch (const std::exception&) {
    }
    throw std::invalid_argument(std::string(option) + " wants a number of at least " + std::to_string(smallest) + ", not \""
                                + text + "\"");
}

struct Arguments {
    ShopOptions options;
    std::optional<tovari::shop::FaultRule> fault;
};

Arguments ParseArguments(int argc, char** argv)
{
    Arguments arguments;
    ShopOptions& options = arguments.options;
    options.dataFolder = DefaultDataFolder();
    options.logRequests = true;
    const std::map<std::string, std::function<void(const std::string&)>> withValue{
        {"--data", [&](const std::string& v) { options.dataFolder = v; }},
        {"--port", [&](const std::string& v) { options.port = ParseNumber(v, "--port", 0); }},
        {"--host", [&](const std::string& v) { options.host = v; }},
        {"--order-cap", [&](const std::string& v) { options.orderCap = ParseNumber(v, "--order-cap", 1); }},
        {"--fault", [&](const std::string& v) { arguments.fault = tovari::shop::ParseFaultRule(v); }},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quiet") {
            options.logRequests = false;
            continue;
        }
        auto option = withValue.find(argument);
        if (option == withValue.end())
            throw std::invalid_argument("unknown argument \"" + argument + "\"");
        if (i + 1 >= argc)
            throw std::invalid_argument(argument + " wants a value");
        option->second(argv[++i]);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            PrintUsage(std::cout);
            return EXIT_SUCCESS;
        }
        if (std::string(argv[i]) == "--version") {
            std::cout << "tovari-shop " TOVARI_VERSION "\n";
            return EXIT_SUCCESS;
        }
    }
    try {
        auto [options, fault] = ParseArguments(argc, argv);
        // With a fault rule the shop listens on a free port behind the misbehaving proxy, which takes
        // the address the client is told.
        const std::string host = options.host;
        const int port = options.port;
        if (fault) {
            options.host = "127.0.0.1";
            options.port = 0;
        }

        // Blocked before any thread starts, so that every thread inherits the mask and the
        // signals reach only the sigwait below.
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

        tovari::shop::ShopServer server(options);
        server.Start();
        std::optional<tovari::shop::FaultProxy> proxy;
        int shown = server.Port();
        if (fault) {
            proxy.emplace("127.0.0.1", server.Port(), *fault);
            shown = proxy->Start(host, port);
            std::cout << "tovari-shop misbehaving on purpose by the rule given" << "\n";
        }
        std::cout << "tovari-shop listening on http://" << host << ":" << shown << "\n"
                  << "data folder: " << options.dataFolder.string() << "\n"
                  << "demo member e-mail: " << tovari::shop::kDemoEmail << "\n"
                  << "demo member password: " << tovari::shop::kDemoPassword << std::endl;

        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::cout << "tovari-shop stopping (" << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
        if (proxy)
            proxy->Stop();
        server.Stop();
        return EXIT_SUCCESS;
    } catch (const std::invalid_argument& e) {
        std::cerr << "tovari-shop: " << e.what() << "\n";
        PrintUsage(std::cerr);
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tovari-shop: " << e.what() << std::endl;
        return EXIT_FAILURE;
    }
}
