#include "model/unit_text.h"

#include <cstdint>

namespace kelvrix {

namespace {

#include "cp932_table.inc"

constexpr char32_t kReplacement = U'\uFFFD';

void AppendUtf8(std::string& text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The table's row of a lead byte; -1 when the byte leads no pair.
int LeadRow(unsigned char lead) {
  if (lead >= 0x81 && lead <= 0x9F) return lead - 0x81;
  if (lead >= 0xE0 && lead <= 0xFC) return 0x9F - 0x81 + 1 + (lead - 0xE0);
  return -1;
}

// The length of the well-formed UTF-8 sequence at the start of `text`; 0 when there is none.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range (RFC 3629)
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string UnitText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else if (c >= 0xA1 && c <= 0xDF) {
      AppendUtf8(text, U'\uFF61' + (c - 0xA1));
    } else if (const int row = LeadRow(c); row >= 0 && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      const char32_t code = trail >= 0x40 && trail <= 0xFC ? kCp932DoubleBytes[row * 189 + (trail - 0x40)] : 0;
      AppendUtf8(text, code != 0 ? code : kReplacement);
      if (code != 0) ++i;  // a pair that is no character: its trail byte stands on its own
    } else {
      AppendUtf8(text, kReplacement);
    }
  }
  return text;
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    if (length == 0) {
      AppendUtf8(valid, kReplacement);
      text.remove_prefix(1);
    } else {
      valid.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return valid;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : ValidUtf8(text)) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      (json += '\\') += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      ((json += "\\u00") += kHex[byte >> 4]) += kHex[byte & 0xF];
    } else {
      json += c;
    }
  }
  return json + "\"";
}

}  // namespace kelvrix
