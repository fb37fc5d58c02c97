// One JSON object on one line, built field by field. The bench's helpers log with it and the
// Python side reads each line with json.loads. Texts go in as UTF-8 and are escaped here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace e2e {

class JsonLine {
 public:
  JsonLine() : text_("{") {}

  JsonLine& String(std::string_view key, std::string_view value) {
    Key(key);
    Quoted(value);
    return *this;
  }
  JsonLine& Int(std::string_view key, std::int64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
  }
  JsonLine& Bool(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
  }
  // A value that is already JSON (an array or object built by the caller).
  JsonLine& Raw(std::string_view key, std::string_view json) {
    Key(key);
    text_ += json;
    return *this;
  }
  // The finished line, with its newline.
  std::string Finish() const { return text_ + "}\n"; }
  // The finished object without a newline, for nesting with Raw.
  std::string Object() const { return text_ + "}"; }

  static std::string Quote(std::string_view value) {
    JsonLine line;
    line.Quoted(value);
    return line.text_.substr(1);
  }

 private:
  void Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    Quoted(key);
    text_ += ':';
  }
  void Quoted(std::string_view value) {
    text_ += '"';
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (byte < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        text_ += escaped;
      } else {
        text_ += c;
      }
    }
    text_ += '"';
  }

  std::string text_;
};

}  // namespace e2e
