// A tick must not allocate: it runs on the user-interface thread every
// 100 ms. This program replaces the global allocation functions to count
// every allocation made while ticks run.
#include <gtest/gtest.h>

#include "tests/support/nmea_text.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "gps/gps_input.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/scripted_message_boxes.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace corvantis {
namespace {

std::string gga(int second, const char* latitude) {
  return testing::nmeaSentence("GPGGA,1200" + std::string(second < 10 ? "0" : "") + std::to_string(second) + "," +
                               latitude + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
         "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
}

TEST(PumpTick, AllocatesNothing) {
  testing::FakeSerialPort port;
  testing::ScriptedMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  ASSERT_TRUE(gps->openPort(5, 0));
  int newFixes = 0;
  gps->afterTick = [&newFixes](bool newFix) { newFixes += newFix ? 1 : 0; };
  // Fixes, other sentences, a full history, a line over 510 bytes, then silence.
  std::string stream;
  for (int s = 0; s < 40; ++s) stream += gga(s, s % 2 ? "4807.038" : "4807.538");
  stream += "$GPGGA," + std::string(2000, '7') + "\r\n$";
  port.feed(stream);
  gps->history.count = FixHistory::kCapacity - 10;  // fills up on the way

  const long before = allocations.load();
  for (int i = 0; i < 400; ++i) gps->pumpTick();
  const long during = allocations.load() - before;

  EXPECT_EQ(during, 0);
  EXPECT_EQ(newFixes, 40);  // the later ones moved the window of a full history
  EXPECT_TRUE(gps->currentFix.deviceError);  // and the silence was noticed

  // The counter does see allocations (the test could fail).
  const long probe = allocations.load();
  auto allocated = std::make_unique<std::string>(100, 'x');
  EXPECT_GT(allocations.load(), probe);
}

}  // namespace
}  // namespace corvantis
