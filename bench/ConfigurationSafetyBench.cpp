#include "ConfigurationSafety.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kPeer = "[Peer]\n"
                          "PublicKey = xTIBA5rboUvnH4htodjb6e697QjLERt1NAB4mZqp8Dg=\n"
                          "PresharedKey = yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=\n"
                          "AllowedIPs = 0.0.0.0/0, ::/0\n"
                          "Endpoint = de-fra-01.korvel.example:51820\n"
                          "PersistentKeepalive = 25\n";

const std::string kRealistic = "[Interface]\n"
                               "PrivateKey = yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=\n"
                               "Address = 10.66.0.2/32, fd00:66::2/128\n"
                               "DNS = 10.66.0.1, fd00:66::1\n"
                               "MTU = 1420\n"
                               "\n" +
                               kPeer;

// As many peers as fit, then comment bytes up to exactly 64 KiB: every line is read.
std::string largest() {
    std::string text = kRealistic;
    while (text.size() + kPeer.size() <= korvel::service::kMaxConfigurationBytes) {
        text += kPeer;
    }
    text += "#";
    text.append(korvel::service::kMaxConfigurationBytes - text.size(), ' ');
    return text;
}

void check(benchmark::State& state, const std::string& text) {
    if (!korvel::service::configurationIsSafe(text)) {
        state.SkipWithError("the benchmark configuration is not safe");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(korvel::service::configurationIsSafe(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void realisticConfiguration(benchmark::State& state) { check(state, kRealistic); }
void largestConfiguration(benchmark::State& state) { check(state, largest()); }

} // namespace

BENCHMARK(realisticConfiguration);
BENCHMARK(largestConfiguration);
