#include "model/settings_data_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <type_traits>

namespace kelvrix {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Signed decimal after optional blanks; what follows the digits is ignored.
bool ParseInteger(std::string_view line, int32_t& value) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  const char* first = line.data() + start;
  const char* last = line.data() + line.size();
  if (*first == '+') ++first;  // from_chars takes '-' only
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end != first;
}

class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  // The next line without its line end; false at the end of the text.
  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t lf = rest_.find('\n');
    line = rest_.substr(0, lf);
    rest_ = lf == std::string_view::npos ? std::string_view{} : rest_.substr(lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return true;
  }

 private:
  std::string_view rest_;
};

// A line that is not of the field's kind (a hold time that is not digits, a
// title with a control byte) keeps the field as it was, as a number out of
// its range does: a file never puts into the model what its own writer, the
// dialogs or the wire could not carry.
template <std::size_t N>
void StoreTextLine(std::string_view line, char (&field)[N], const TextLine& text) {
  if (line == text.empty) line = {};
  line = line.substr(0, WholeCharacterPrefix(line, std::min(text.size, N - 1)));
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  const bool fits = text.digits ? !line.empty() && std::all_of(line.begin(), line.end(), isDigit)
                                : std::none_of(line.begin(), line.end(), isControl);
  if (fits) CopyText(field, line);
}

}  // namespace

std::string WriteSettingsData(const DeviceSettings& settings) {
  std::string text;
  text.reserve(kSettingsDataLineCount * 8);
  auto visit = [&text]<class Field>(Field&& field, auto extent) {
    if constexpr (std::is_same_v<decltype(extent), ValueRange>) {
      for (int32_t value : field) (text += std::to_string(value)) += kLineEnd;
    } else {
      const std::string_view value(field, strnlen(field, sizeof field));
      (text += value.empty() ? extent.empty : value) += kLineEnd;
    }
  };
  VisitSettingsDataFields(settings, visit);
  return text;
}

void ReadSettingsData(std::string_view text, DeviceSettings& settings) {
  LineReader lines(text);
  auto visit = [&lines]<class Field>(Field&& field, auto extent) {
    std::string_view line;
    if constexpr (std::is_same_v<decltype(extent), ValueRange>) {
      for (int32_t& element : field) {
        if (!lines.Next(line)) return;
        int32_t value;
        if (ParseInteger(line, value) && value >= extent.low && value <= extent.high) element = value;
      }
    } else if (lines.Next(line)) {
      StoreTextLine(line, field, extent);
    }
  };
  VisitSettingsDataFields(settings, visit);
}

namespace {

// The whole line a number, blanks around it allowed: what the writer writes.
bool IsWholeInteger(std::string_view line, int32_t& value) {
  const std::size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t");
  if (first == std::string_view::npos) return false;
  line = line.substr(first, last - first + 1);
  if (line.starts_with('+')) line.remove_prefix(1);
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  return error == std::errc() && end == line.data() + line.size();
}

template <std::size_t N>
bool IsTextLine(std::string_view line, const char (&)[N], const TextLine& text) {
  if (!text.empty.empty() && line == text.empty) return true;
  if (line.size() > std::min(text.size, N - 1)) return false;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  return text.digits ? !line.empty() && std::all_of(line.begin(), line.end(), isDigit)
                     : std::none_of(line.begin(), line.end(), isControl);
}

}  // namespace

std::optional<int> FirstBadSettingsLine(std::string_view text) {
  LineReader lines(text);
  int number = 0;
  std::optional<int> bad;
  auto check = [&]<class Field>(Field&& field, auto extent) {
    std::string_view line;
    if constexpr (std::is_same_v<decltype(extent), ValueRange>) {
      for (std::size_t i = 0; i < field.size() && !bad; ++i) {
        ++number;
        int32_t value = 0;
        if (!lines.Next(line) || !IsWholeInteger(line, value) || value < extent.low || value > extent.high) bad = number;
      }
    } else if (!bad) {
      ++number;
      if (!lines.Next(line) || !IsTextLine(line, field, extent)) bad = number;
    }
  };
  const DeviceSettings layout{};
  VisitSettingsDataFields(layout, check);
  std::string_view extra;
  if (!bad && lines.Next(extra)) bad = kSettingsDataLineCount + 1;
  return bad;
}

std::string WithDataFileSuffix(std::string path) {
  if (path.find(".dat", 1) == std::string::npos) path += ".dat";
  return path;
}

std::string OverwriteQuestion(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("\\/:");
  if (folderEnd != std::string_view::npos) path.remove_prefix(folderEnd + 1);
  return std::string(path) + " は既に存在します。上書きしますか？";
}

}  // namespace kelvrix
