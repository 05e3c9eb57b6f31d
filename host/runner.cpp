// lyr-host: runs a script of host commands against the embedded host.
//
//   lyr-host [--modules DIR]... [--sr HZ] [--vs N] [SCRIPT]
//   lyr-host --describe CLASS
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "embedded_host.h"

namespace {

using lyrhost::Host;
using lyrhost::HostError;

void print_event(void*, const lyrhost::Event& e) { std::printf("%s\n", e.line().c_str()); }

int usage() {
    std::fprintf(stderr,
                 "usage: lyr-host [--modules DIR]... [--sr HZ] [--vs N] [SCRIPT]\n"
                 "       lyr-host [--modules DIR]... --describe CLASS\n");
    return 2;
}

// "NAME:N" into its two parts; N defaults to `fallback` when absent.
std::pair<std::string, int> split_port(const std::string& word, int fallback, bool required) {
    auto colon = word.rfind(':');
    if (colon == std::string::npos) {
        if (required) throw HostError("expected NAME:NUMBER, got \"" + word + "\"");
        return {word, fallback};
    }
    std::string number = word.substr(colon + 1);
    char* end = nullptr;
    long n = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || n < 0) throw HostError("bad port number in \"" + word + "\"");
    return {word.substr(0, colon), static_cast<int>(n)};
}

// "250ms" or "4096smp".
void run_duration(Host& host, const std::string& word) {
    auto number = [&](size_t suffix) {
        std::string digits = word.substr(0, word.size() - suffix);
        char* end = nullptr;
        double v = std::strtod(digits.c_str(), &end);
        if (digits.empty() || *end != '\0' || v < 0) throw HostError("bad duration \"" + word + "\"");
        return v;
    };
    if (word.size() > 3 && word.ends_with("smp")) host.run_samples(static_cast<int64_t>(number(3)));
    else if (word.size() > 2 && word.ends_with("ms")) host.run_ms(number(2));
    else throw HostError("bad duration \"" + word + "\" (use 250ms or 4096smp)");
}

std::string rest_after(const std::string& line, size_t words) {
    std::istringstream in(line);
    std::string w;
    for (size_t i = 0; i < words && in >> w; ++i) {
    }
    std::string rest;
    std::getline(in, rest);
    return rest;
}

void execute(Host& host, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return;
    const std::string& command = words[0];
    auto need = [&](size_t n) {
        if (words.size() != n) throw HostError("\"" + command + "\" takes " + std::to_string(n - 1) + " argument(s)");
    };
    if (command == "new") {
        if (words.size() < 3) throw HostError("usage: new NAME CLASS ATOMS...");
        if (!host.create(words[1], words[2], rest_after(line, 3)))
            throw HostError("could not create " + words[1] + " (" + words[2] + ")");
    } else if (command == "connect") {
        need(3);
        auto [from, outlet] = split_port(words[1], 0, true);
        auto [to, inlet] = split_port(words[2], 0, true);
        host.connect(from, outlet, to, inlet);
    } else if (command == "audio") {
        need(3);
        host.audio(words[1], words[2]);
    } else if (command == "record") {
        need(3);
        auto [name, outlet] = split_port(words[1], 0, true);
        host.record(name, outlet, words[2]);
    } else if (command == "dsp") {
        need(2);
        if (words[1] != "on" && words[1] != "off") throw HostError("usage: dsp on|off");
        host.dsp(words[1] == "on");
    } else if (command == "run") {
        need(2);
        run_duration(host, words[1]);
    } else if (command == "free") {
        need(2);
        host.free(words[1]);
    } else if (command == "disable") {
        need(3);
        if (words[2] != "0" && words[2] != "1") throw HostError("usage: disable NAME 1|0");
        host.set_disabled(words[1], words[2] == "1");
    } else {
        auto [name, inlet] = split_port(command, 0, false);
        std::string message = rest_after(line, 1);
        if (words.size() < 2) throw HostError("no message for \"" + name + "\"");
        host.send(name, inlet, message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Host host;
    std::string script, describe;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::exit(usage());
            }
            return argv[++i];
        };
        if (arg == "--modules") host.add_module_dir(value());
        else if (arg == "--sr") host.set_sample_rate(std::atof(value().c_str()));
        else if (arg == "--vs") host.set_vector_size(std::atoi(value().c_str()));
        else if (arg == "--describe") describe = value();
        else if (arg.starts_with("--")) return usage();
        else if (script.empty()) script = arg;
        else return usage();
    }
    if (host.sample_rate() <= 0) {
        std::fprintf(stderr, "lyr-host: the sample rate must be positive\n");
        return 2;
    }
    host.set_listener(print_event, nullptr);
    if (!describe.empty()) {
        try {
            std::string text = host.describe(describe);
            std::printf("%s", text.c_str());
            return 0;
        } catch (const HostError& e) {
            std::fprintf(stderr, "lyr-host: %s\n", e.what());
            return 1;
        }
    }
    std::ifstream file;
    if (!script.empty()) {
        file.open(script);
        if (!file) {
            std::fprintf(stderr, "lyr-host: cannot read %s\n", script.c_str());
            return 1;
        }
    }
    std::istream& in = script.empty() ? std::cin : file;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        try {
            execute(host, line);
        } catch (const HostError& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "lyr-host: line %d: %s\n", number, e.what());
            return 1;
        }
    }
    std::fflush(stdout);
    return 0;
}
