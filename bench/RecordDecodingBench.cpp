// The web API's response bodies through the record decoders, each against Qt's own JSON parser
// reading the same body into a document (which checks less and keeps no records).
#include "Account.h"
#include "ApiEnvelope.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"
#include "WireGuardConfig.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <array>
#include <string>

namespace {

using namespace korvel::api;

std::string data(const std::string& json) { return R"({"data":)" + json + "}"; }

const std::string kToken = data(
    R"j({"token":"7f3c1e9a2b4d6f8e0a1c3e5f7b9d2f4a6c8e0b2d4f6a8c0e2b4d6f8a0c2e4b6d","id":41,"name":"Linux (Desk)"})j");

const std::string kAccount =
    data(R"({"email":"someone@korvel.example","subscription":{"plan":"free","status":"active"},)"
         R"("usage":{"period":"2024-06","bytes_used":1610612736,"bytes_used_lifetime":53687091200,)"
         R"("plan_is_free":true,"unlimited_data":true,"speed_mbps":100}})");

const std::string kDevices =
    data(R"j([{"id":7,"name":"Linux (Desk)","platform":"linux","protocol":"wireguard"},)j"
         R"j({"id":8,"name":"Linux (Laptop)","platform":"linux","protocol":"wireguard"}])j");

const std::string kConfig =
    data(R"({"config":"[Interface]\nPrivateKey = yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=\n)"
         R"(Address = 10.64.0.2/32\nDNS = 10.64.0.1\n\n[Peer]\n)"
         R"(PublicKey = xTIBA5rboUvnH4htodjb6e697QjLERt1NAB4mZqp8Dg=\nAllowedIPs = 0.0.0.0/0, ::/0\n)"
         R"(Endpoint = 203.0.113.10:51820\n"})");

// Server lists as the server sends them, with names and loads that vary.
std::string servers(int count) {
    static constexpr std::array kCountries{"DE", "FR", "NL", "GB", "US", "CA", "JP", "SE", "CH", "ES"};
    static constexpr std::array kLoads{"low", "medium", "high"};
    std::string list = "[";
    for (int i = 0; i < count; ++i) {
        list += (i ? "," : "") + std::string(R"({"hostname":"h)") + std::to_string(i) +
                R"(.korvel.example","location":"City )" + std::to_string(i) + R"(","country_code":")" +
                kCountries[i % kCountries.size()] + R"(","status":"online","load":")" +
                kLoads[(i / 7) % kLoads.size()] + R"(","endpoint":"203.0.113.)" + std::to_string(i % 250) +
                R"(:51820"})";
    }
    return data(list + "]");
}

template <class T>
void decode(benchmark::State& state, const std::string& body) {
    const QByteArrayView view(body.data(), static_cast<qsizetype>(body.size()));
    if (!ApiEnvelope<T>::decode(view) || !ApiEnvelope<T>::decode(view)->data) {
        state.SkipWithError("the benchmark body does not decode");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApiEnvelope<T>::decode(view));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void qtDocument(benchmark::State& state, const std::string& body) {
    const QByteArray bytes = QByteArray::fromStdString(body);
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void BM_Decode_TokenResponse(benchmark::State& state) { decode<TokenResponse>(state, kToken); }
void BM_Decode_Account(benchmark::State& state) { decode<Account>(state, kAccount); }
void BM_Decode_Devices(benchmark::State& state) { decode<QList<Device>>(state, kDevices); }
void BM_Decode_WireGuardConfig(benchmark::State& state) { decode<WireGuardConfig>(state, kConfig); }
void BM_Decode_Servers(benchmark::State& state) {
    decode<QList<ServerLocation>>(state, servers(static_cast<int>(state.range(0))));
}
void BM_QJsonDocument_Account(benchmark::State& state) { qtDocument(state, kAccount); }
void BM_QJsonDocument_Servers(benchmark::State& state) {
    qtDocument(state, servers(static_cast<int>(state.range(0))));
}

} // namespace

BENCHMARK(BM_Decode_TokenResponse);
BENCHMARK(BM_Decode_Account);
BENCHMARK(BM_QJsonDocument_Account);
BENCHMARK(BM_Decode_Devices);
BENCHMARK(BM_Decode_WireGuardConfig);
BENCHMARK(BM_Decode_Servers)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QJsonDocument_Servers)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);
