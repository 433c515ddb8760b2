#include "votes/voted_out.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

#include "settings/ini.h"

namespace {

constexpr std::string_view kHeader = "zarn-vote voted out 1\n";
// Far more than a server sees in a day: a larger file is not one this program wrote.
constexpr std::size_t kMaxBytes = 4 << 20;

// A whole decimal number up to `end`, moving `at` past it and the blank after it.
std::optional<std::int64_t> number(std::string_view content, std::size_t& at, char end) {
  std::int64_t value = 0;
  const char* first = content.data() + at;
  const char* last = content.data() + content.size();
  const auto [stop, error] = std::from_chars(first, last, value);
  if (error != std::errc() || stop == first || stop == last || *stop != end)
    return std::nullopt;
  at = static_cast<std::size_t>(stop - content.data()) + 1;
  return value;
}

}  // namespace

VotedOut::VotedOut(std::filesystem::path stateFile, const Clock& clock, settings::FileSystem& files)
    : stateFile_(std::move(stateFile)), clock_(clock), files_(files) {}

std::string VotedOut::serialize(const std::map<std::string, std::int64_t, std::less<>>& endsAt) {
  // Each line: the end, the name's length in bytes, the name as it was read; a name may hold any byte.
  std::string content(kHeader);
  for (const auto& [name, end] : endsAt)
    content += std::to_string(end) + " " + std::to_string(name.size()) + " " + name + "\n";
  return content;
}

std::optional<std::map<std::string, std::int64_t, std::less<>>> VotedOut::parse(std::string_view content) {
  if (content.size() > kMaxBytes || content.substr(0, kHeader.size()) != kHeader)
    return std::nullopt;
  std::map<std::string, std::int64_t, std::less<>> endsAt;
  std::size_t at = kHeader.size();
  while (at < content.size()) {
    const std::optional<std::int64_t> end = number(content, at, ' ');
    const std::optional<std::int64_t> length = end ? number(content, at, ' ') : std::nullopt;
    if (!length || *length <= 0 || static_cast<std::uint64_t>(*length) >= content.size() - at ||
        content[at + static_cast<std::size_t>(*length)] != '\n')
      return std::nullopt;
    endsAt[std::string(content.substr(at, static_cast<std::size_t>(*length)))] = *end;
    at += static_cast<std::size_t>(*length) + 1;
  }
  return endsAt;
}

std::string VotedOut::load(int minutes) {
  loaded_ = true;
  untilMs_.clear();
  const INI::WholeFile read = INI::ReadWholeFile(files_, stateFile_);
  if (!read.bytes && read.problem.empty())
    return "no " + stateFile_.filename().string() + " yet, so nobody voted out is remembered";
  const auto endsAt = read.bytes ? parse(*read.bytes) : std::nullopt;
  if (!endsAt) {
    // The next name remembered replaces the file: what it held would be gone for good, though the operator
    // may still read it as another user or mend it.
    std::filesystem::path setAside = stateFile_;
    setAside += ".bad";
    const bool kept = !files_.rename(stateFile_, setAside);
    return (read.bytes ? stateFile_.string() + " is damaged"
                       : "cannot read " + stateFile_.string() + ": " + read.problem) +
           ", so nobody voted out is remembered" +
           (kept ? "; set aside as " + setAside.filename().string()
                 : "; it could not be set aside, and the next name remembered replaces it");
  }
  const std::int64_t nowSeconds = clock_.unixSeconds();
  const std::int64_t nowMs = clock_.steadyMs();
  const std::int64_t mostMs = static_cast<std::int64_t>(minutes) * 60000;
  for (const auto& [name, end] : *endsAt) {
    // Compared as a difference first, so that no end in the file, however far off, overflows.
    if (end <= nowSeconds)
      continue;
    const std::int64_t leftMs = end - nowSeconds > mostMs / 1000 ? mostMs : (end - nowSeconds) * 1000;
    untilMs_[name] = nowMs + leftMs;
  }
  return {};
}

std::string VotedOut::remember(const std::string& name, int minutes) {
  const std::int64_t nowMs = clock_.steadyMs();
  untilMs_[name] = nowMs + static_cast<std::int64_t>(minutes) * 60000;
  rememberedAtMs_[name] = nowMs;
  std::map<std::string, std::int64_t, std::less<>> endsAt;
  const std::int64_t nowSeconds = clock_.unixSeconds();
  for (auto it = untilMs_.begin(); it != untilMs_.end();) {
    if (it->second <= nowMs) {
      rememberedAtMs_.erase(it->first);
      it = untilMs_.erase(it);
      continue;
    }
    endsAt[it->first] = nowSeconds + (it->second - nowMs + 999) / 1000;
    ++it;
  }
  if (!INI::ReplaceWholeFile(files_, stateFile_, serialize(endsAt)))
    return "cannot write " + stateFile_.string() + "; a restart would forget who was voted out";
  return {};
}

void VotedOut::limitTo(int minutes) {
  const std::int64_t mostMs = clock_.steadyMs() + static_cast<std::int64_t>(minutes) * 60000;
  for (auto& [name, untilMs] : untilMs_)
    untilMs = std::min(untilMs, mostMs);
}

std::int64_t VotedOut::rememberedAtMs(std::string_view name) const {
  const auto found = rememberedAtMs_.find(name);
  return found == rememberedAtMs_.end() ? std::numeric_limits<std::int64_t>::min() : found->second;
}

std::optional<int> VotedOut::minutesLeft(std::string_view name) const {
  const auto found = untilMs_.find(name);
  if (found == untilMs_.end())
    return std::nullopt;
  const std::int64_t leftMs = found->second - clock_.steadyMs();
  if (leftMs <= 0)
    return std::nullopt;
  return static_cast<int>((leftMs + 59999) / 60000);
}
