// The UBX and PMTK messages byte for byte as the makers' descriptions give
// them, their answers read back, and the stream that cuts a receiver's
// mixed output into sentences and frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/receiver/command_line.h"
#include "tools/receiver/pmtk.h"
#include "tools/receiver/receiver_stream.h"
#include "tools/receiver/ubx.h"

namespace corvantis::receiver {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (const int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(Ubx, MessagesAreTheDocumentedBytes) {
  const struct {
    const char* what;
    std::vector<uint8_t> made;
    std::vector<uint8_t> expected;
  } cases[] = {
      {"MON-VER poll", ubx::monVerPoll(), bytes({0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34})},
      {"CFG-RATE 100 ms", ubx::cfgRate(100),
       bytes({0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x64, 0x00, 0x01, 0x00, 0x01, 0x00, 0x7A, 0x12})},
      {"CFG-RATE 200 ms", ubx::cfgRate(200),
       bytes({0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0xC8, 0x00, 0x01, 0x00, 0x01, 0x00, 0xDE, 0x6A})},
      {"CFG-MSG GSV off", ubx::cfgMsg(ubx::kNmeaGsv, 0),
       bytes({0xB5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xF0, 0x03, 0x00, 0xFD, 0x15})},
      {"CFG-PRT UART1 115200", ubx::cfgPrtUart1(115200),
       bytes({0xB5, 0x62, 0x06, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0xD0, 0x08, 0x00, 0x00, 0x00, 0xC2,
              0x01, 0x00, 0x07, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x7E})},
      {"CFG-CFG save", ubx::cfgCfgSave(),
       bytes({0xB5, 0x62, 0x06, 0x09, 0x0D, 0x00, 0, 0, 0, 0, 0x1F, 0x1F, 0, 0, 0, 0, 0, 0, 0x17, 0x71, 0xDF})},
  };
  for (const auto& c : cases) EXPECT_EQ(c.made, c.expected) << c.what;
}

TEST(Ubx, ConfigurationKeysCarryValuesOfTheirOwnSize) {
  const std::vector<ubx::KeyValue> keys{{ubx::kKeyRateMeas, 100}, {ubx::kKeyUart1Baud, 115200}, {ubx::kKeyGsvUsb, 0}};
  const std::vector<uint8_t> frame = ubx::cfgValset(ubx::kLayerRam | ubx::kLayerFlash, keys);
  const std::vector<uint8_t> payload(frame.begin() + 6, frame.end() - 2);
  EXPECT_EQ(payload, bytes({0x00, 0x05, 0x00, 0x00,                          // version, RAM and flash
                            0x01, 0x00, 0x21, 0x30, 0x64, 0x00,              // rate: 100 ms, two bytes
                            0x01, 0x00, 0x52, 0x40, 0x00, 0xC2, 0x01, 0x00,  // baud: four bytes
                            0xC7, 0x00, 0x91, 0x20, 0x00}));                 // GSV on USB: one byte
  EXPECT_EQ(frame[4], payload.size());
}

TEST(Ubx, MonVerIsReadBack) {
  std::vector<uint8_t> payload(40 + 60, 0);
  const std::string software = "ROM CORE 3.01 (107888)", hardware = "00080000", ext1 = "FWVER=SPG 3.01",
                    ext2 = "PROTVER=18.00";
  std::copy(software.begin(), software.end(), payload.begin());
  std::copy(hardware.begin(), hardware.end(), payload.begin() + 30);
  std::copy(ext1.begin(), ext1.end(), payload.begin() + 40);
  std::copy(ext2.begin(), ext2.end(), payload.begin() + 70);
  const auto version = ubx::parseMonVer(payload);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->software, software);
  EXPECT_EQ(version->extensions, (std::vector<std::string>{ext1, ext2}));
  EXPECT_DOUBLE_EQ(version->protocolVersion(), 18.0);
  EXPECT_FALSE(ubx::parseMonVer(std::vector<uint8_t>(39, 'x')));
  EXPECT_FALSE(ubx::parseMonVer(std::vector<uint8_t>(55, 'x')));  // a broken extension
}

TEST(Pmtk, CommandsAndAnswers) {
  EXPECT_EQ(pmtk::setFixInterval(100), "$PMTK220,100*2F\r\n");
  EXPECT_EQ(pmtk::firmwareQuery(), "$PMTK605*31\r\n");
  EXPECT_EQ(pmtk::setBaud(115200), "$PMTK251,115200*1F\r\n");
  EXPECT_EQ(pmtk::querySentenceRates(), "$PMTK414*33\r\n");
  pmtk::SentenceRates rmcAndGga{};
  rmcAndGga[pmtk::kFieldRmc] = rmcAndGga[pmtk::kFieldGga] = 1;
  EXPECT_EQ(pmtk::setSentenceRates(rmcAndGga), "$PMTK314,0,1,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0*28\r\n");

  const auto ack = pmtk::parseAcknowledgement("$PMTK001,220,3*30");
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->command, 220);
  EXPECT_EQ(ack->flag, 3);
  for (const char* bad : {"$PMTK001,220*2F", "$PMTK001,x,3*00", "$GPGGA,1,2"}) EXPECT_FALSE(pmtk::parseAcknowledgement(bad)) << bad;
  EXPECT_EQ(pmtk::parseFirmware("$PMTK705,AXN_2.31_3339_13101700,5632,PA6H,1.0*6A"),
            "AXN_2.31_3339_13101700, 5632, PA6H, 1.0");
  const auto rates = pmtk::parseSentenceRates("$PMTK514,1,1,1,1,1,5,0,0,0,0,0,0,0,0,0,0,0,1,0*2B");
  ASSERT_TRUE(rates);
  EXPECT_EQ((*rates)[pmtk::kFieldGsv], 5);
  EXPECT_EQ((*rates)[17], 1);
  EXPECT_FALSE(pmtk::parseSentenceRates("$PMTK514,1,1*00"));
}

TEST(ReceiverStream, CutsMixedOutputAndSkipsWhatIsNeither) {
  const std::string gga = "$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*67";
  const std::vector<uint8_t> ack = ubx::frame(ubx::kClassAck, ubx::kAckAck, bytes({0x06, 0x08}));
  std::string text = "\x93\xA7garbage" + gga + "\r\n";
  text += "$GPGGA,120000.00,damaged*00\r\n";
  text += std::string(ack.begin(), ack.end());
  text += "$PMTK001,220,3*30\r\n";
  std::vector<uint8_t> all(text.begin(), text.end());
  all.push_back(0xB5);  // a frame's first byte, the rest still to come
  // Fed in small pieces, as a line delivers them.
  ReceiverStream stream;
  std::vector<StreamItem> items;
  for (std::size_t at = 0; at < all.size(); at += 7) {
    stream.feed(std::span<const uint8_t>(all).subspan(at, std::min<std::size_t>(7, all.size() - at)));
    while (auto item = stream.next()) items.push_back(*item);
  }
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].sentence, gga);
  EXPECT_EQ(items[1].kind, StreamItem::Kind::Frame);
  EXPECT_EQ(items[1].frame.messageClass, ubx::kClassAck);
  EXPECT_EQ(items[1].frame.payload, bytes({0x06, 0x08}));
  EXPECT_EQ(items[2].sentence, "$PMTK001,220,3*30");
  EXPECT_GT(stream.skippedBytes(), 30u);
}

TEST(CommandLine, RatesBaudsAndPorts) {
  CommandLine line;
  std::string error;
  ASSERT_TRUE(parseCommandLine({}, line, error));
  EXPECT_EQ(line.devicePath, "/dev/ttyACM0");
  EXPECT_EQ(line.request.rateHz, 10);
  EXPECT_FALSE(line.request.baud);
  ASSERT_TRUE(parseCommandLine({"--com", "5", "--rate", "25", "--baud", "115200", "--lean", "--save"}, line, error));
  EXPECT_EQ(line.devicePath, "/dev/ttyUSB0");
  EXPECT_EQ(line.request.rateHz, 25);
  EXPECT_EQ(line.request.baud, 115200u);
  EXPECT_TRUE(line.request.lean && line.request.save);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--rate", "3"}, {"--rate", "30"}, {"--rate", "0"}, {"--baud", "14400"},
                                             {"--com", "9"}, {"--port", "/dev/x", "--com", "1"}, {"--port"},
                                             {"--speed", "10"}}) {
    CommandLine ignored;
    EXPECT_FALSE(parseCommandLine(bad, ignored, error)) << bad.front();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace corvantis::receiver
