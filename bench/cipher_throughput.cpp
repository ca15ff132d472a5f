// Buffer throughput of the file body transform per cipher, as the engine runs
// it (key set up once, whole 1024-byte chunks), on one thread and, for DES, on
// every core, and the DES on each bitsliced path this processor can run. Prints
// one line per case: name, then the median of the runs in MB/s (10^6 bytes, as
// `openssl speed` counts); and a line "des-slicing NAME" naming the path the
// engine takes.
//
//   cipher_throughput [MiB per run, default 64] [runs, default 5]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "crypto/des_fast.h"
#include "fileenc/body_transform.h"
#include "fileenc/encrypted_file_header.h"

namespace {

using vellumo::BodyTransformer;
using vellumo::Direction;

double MedianMBps(vellumo::CipherAlgorithm algorithm, unsigned threads, std::vector<uint8_t>& buffer, int runs) {
  const vellumo::KeyBlock key = {'b', 'e', 'n', 'c', 'h'};
  std::vector<double> rates;
  for (int run = 0; run < runs; ++run) {
    BodyTransformer transformer(algorithm, Direction::kEncrypt, key, threads);
    const auto start = std::chrono::steady_clock::now();
    transformer.Transform(buffer.data(), buffer.size());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rates.push_back(static_cast<double>(buffer.size()) / took.count() / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

// One thread, the DES held to one slicing, on whole 1024-byte chunks.
double MedianDesMBps(vellumo::CDesFast::Slicing slicing, std::vector<uint8_t>& buffer, int runs) {
  const uint8_t key[16] = {'b', 'e', 'n', 'c', 'h'};
  std::vector<double> rates;
  for (int run = 0; run < runs; ++run) {
    const vellumo::CDesFast des(key, 16, slicing);
    const auto start = std::chrono::steady_clock::now();
    des.EncryptBlocks(buffer.data(), buffer.size() - buffer.size() % vellumo::CDesFast::kSliceBytes);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rates.push_back(static_cast<double>(buffer.size()) / took.count() / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mib == 0 || runs <= 0) {
    std::fprintf(stderr, "usage: cipher_throughput [MiB] [runs]\n");
    return 2;
  }
  std::vector<uint8_t> buffer(mib << 20);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
  const unsigned all = BodyTransformer::DefaultThreads();
  std::printf("aes-1-thread %.1f\n", MedianMBps(vellumo::kAes, 1, buffer, runs));
  std::printf("rc4-1-thread %.1f\n", MedianMBps(vellumo::kRc4, 1, buffer, runs));
  std::printf("des-1-thread %.1f\n", MedianMBps(vellumo::kDes, 1, buffer, runs));
  std::printf("des-%u-threads %.1f\n", all, MedianMBps(vellumo::kDes, all, buffer, runs));
  using Slicing = vellumo::CDesFast::Slicing;
  const Slicing fastest = vellumo::CDesFast::Fastest();
  std::printf("des-slicing %s\n", vellumo::CDesFast::Name(fastest));
  std::printf("des-sse2-1-thread %.1f\n", MedianDesMBps(Slicing::kSse2, buffer, runs));
  if (fastest == Slicing::kAvx2) std::printf("des-avx2-1-thread %.1f\n", MedianDesMBps(Slicing::kAvx2, buffer, runs));
  return 0;
}
