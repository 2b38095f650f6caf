// Feeds arbitrary bytes to both dispatcher variants (the serial one also
// through the line assembler), to every decoder and to the settings data
// file reader.
// The first byte picks the RS-485 mode and how the rest is cut into serial
// reads and socket receives, so split lines and address stripping are both
// explored.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/reply_dispatcher.h"
#include "link/serial_line_assembler.h"
#include "model/reply_decoders.h"
#include "model/settings_data_file.h"
#include "null_panel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  using namespace kelvrix;
  testing::NullPanel null;  // afresh for every input, so that a finding replays alone
  Panel& panel = null.panel;
  null.link.rsControl = control & 1;
  null.link.batchStep = control & 2;

  DispatchSerialReply(panel, bytes);

  const std::size_t piece = 1 + (control >> 2);
  SerialLineAssembler assembler;  // the same bytes as serial reads of `piece` bytes
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    for (const std::string& line : assembler.AddRead(bytes.substr(at, piece))) DispatchSerialReply(panel, line);
  }

  // Socket receives of arbitrary sizes, each byte at a cut choosing the next
  // size; with the top bit of `control`, lengths that disagree with the bytes.
  for (std::size_t at = 0, size = 0; at < bytes.size(); at += size) {
    const auto cut = static_cast<uint8_t>(bytes[at]);
    size = 1 + cut % (4 * piece);
    const std::string_view received = bytes.substr(at, size);
    const int length = static_cast<int>(received.size()) + ((control & 0x80) ? (cut & 7) - 3 : 0);
    DispatchSocketReply(panel, received, length);
  }

  for (const ReplyDecoder& row : ReplyDecoders()) row.decode(bytes, null.settings);
  ReadSettingsData(bytes, null.settings);  // a hand-edited or foreign settings data file
  return 0;
}
