#include "metrics/exposition.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include "engine/host_record.h"
#include "engine/quality_watch.h"
#include "portable/ansi_text.h"

namespace kelvoran {
namespace {

constexpr const char* kFailureLabels[kFailureKinds] = {"timed_out", "unreachable", "other_error"};
constexpr const char* kStatusLabels[] = {"OK", "WARNING", "ERROR"};

// Appends numbers with std::to_chars: the shortest form that reads back the
// same, in the C locale whatever the process's locale is.
class TextWriter {
 public:
  TextWriter(std::string& out, ExpositionFormat format) : out_(out), format_(format) {}
  ExpositionFormat Format() const { return format_; }
  TextWriter& operator<<(std::string_view text) {
    out_ += text;
    return *this;
  }
  TextWriter& operator<<(char c) {
    out_ += c;
    return *this;
  }
  TextWriter& operator<<(std::uint64_t number) { return Number(number); }
  TextWriter& operator<<(std::int64_t number) { return Number(number); }
  TextWriter& operator<<(double number) { return Number(number); }

 private:
  template <typename T>
  TextWriter& Number(T number) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
    // By length, not as an iterator range: GCC 12's Release build takes the
    // range's path for an overlapping copy (-Wrestrict, a false alarm).
    out_.append(buffer, static_cast<std::size_t>(written.ptr - buffer));
    return *this;
  }
  std::string& out_;
  ExpositionFormat format_;
};

// `name` is the samples' name. OpenMetrics names a counter's family without
// its _total and an info family without its _info; the text format has no
// info type and calls it a gauge.
void Family(TextWriter& out, std::string_view name, std::string_view type, std::string_view help) {
  if (out.Format() == ExpositionFormat::OpenMetrics) {
    if (type == "counter" && name.ends_with("_total")) name.remove_suffix(6);
    if (type == "info" && name.ends_with("_info")) name.remove_suffix(5);
  } else if (type == "info") {
    type = "gauge";
  }
  out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

double Seconds(std::uint64_t milliseconds) { return static_cast<double>(milliseconds) / 1000.0; }

std::vector<std::string> HostLabels(const MetricsSnapshot& snapshot) {
  std::vector<std::string> labels;
  labels.reserve(snapshot.hosts.size());
  for (const HostFigures& host : snapshot.hosts)
    labels.push_back("host=\"" + LabelValue(host.host) + "\",description=\"" +
                     LabelValue(host.description) + '"');
  return labels;
}

// One sample per host of a family whose value comes from `value`.
template <typename Value>
void PerHost(TextWriter& out, const MetricsSnapshot& snapshot,
             const std::vector<std::string>& labels, std::string_view name, Value value) {
  for (std::size_t i = 0; i < labels.size(); ++i)
    out << name << '{' << labels[i] << "} " << value(snapshot.hosts[i]) << '\n';
}

void Counters(TextWriter& out, const MetricsSnapshot& snapshot,
              const std::vector<std::string>& labels) {
  Family(out, "kelvoran_probes_sent_total", "counter", "Probes whose result came back.");
  PerHost(out, snapshot, labels, "kelvoran_probes_sent_total",
          [](const HostFigures& host) { return host.sent; });
  Family(out, "kelvoran_replies_total", "counter", "Probes answered by the host.");
  PerHost(out, snapshot, labels, "kelvoran_replies_total",
          [](const HostFigures& host) { return host.replies; });
  Family(out, "kelvoran_probe_failures_total", "counter", "Probes not answered, by reason.");
  for (std::size_t i = 0; i < labels.size(); ++i)
    for (std::size_t kind = 0; kind < kFailureKinds; ++kind)
      out << "kelvoran_probe_failures_total{" << labels[i] << ",result=\"" << kFailureLabels[kind]
          << "\"} " << snapshot.hosts[i].failures[kind] << '\n';
}

void RoundTrips(TextWriter& out, const MetricsSnapshot& snapshot,
                const std::vector<std::string>& labels) {
  Family(out, "kelvoran_round_trip_seconds", "histogram", "Round-trip times of answered probes.");
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const HostFigures& host = snapshot.hosts[i];
    std::uint64_t cumulated = 0;
    for (std::size_t bucket = 0; bucket < kRoundTripBuckets.size(); ++bucket) {
      cumulated += host.roundTrips[bucket];
      out << "kelvoran_round_trip_seconds_bucket{" << labels[i] << ",le=\""
          << kRoundTripBuckets[bucket] << "\"} " << cumulated << '\n';
    }
    out << "kelvoran_round_trip_seconds_bucket{" << labels[i] << ",le=\"+Inf\"} " << host.replies
        << '\n';
    out << "kelvoran_round_trip_seconds_sum{" << labels[i] << "} "
        << Seconds(host.roundTripMillisecondsTotal) << '\n';
    out << "kelvoran_round_trip_seconds_count{" << labels[i] << "} " << host.replies << '\n';
  }
}

void Statuses(TextWriter& out, const MetricsSnapshot& snapshot,
              const std::vector<std::string>& labels) {
  Family(out, "kelvoran_host_status", "gauge", "The host's status: 1 for the one it is in.");
  for (std::size_t i = 0; i < labels.size(); ++i)
    for (std::int32_t status = StatusOk; status <= StatusError; ++status)
      out << "kelvoran_host_status{" << labels[i] << ",status=\"" << kStatusLabels[status] << "\"} "
          << std::uint64_t{snapshot.hosts[i].status == status} << '\n';
  Family(out, "kelvoran_host_quality", "gauge",
         "The host's quality alerts: 1 for each rule raised now.");
  for (std::size_t i = 0; i < labels.size(); ++i)
    for (const QualityRule rule : kQualityRules)
      out << "kelvoran_host_quality{" << labels[i] << ",rule=\""
          << QualityFlagsText(QualityFlag(rule)) << "\"} "
          << std::uint64_t{(snapshot.hosts[i].qualityFlags & QualityFlag(rule)) != 0} << '\n';
  Family(out, "kelvoran_host_last_change_timestamp_seconds", "gauge",
         "When the host's status last changed (or monitoring began), in Unix time.");
  PerHost(out, snapshot, labels, "kelvoran_host_last_change_timestamp_seconds",
          [](const HostFigures& host) { return std::int64_t{host.lastChange}; });
}

// The record's extremes exist only once the host answered; a host without
// answers has no sample rather than a made-up zero.
void Extremes(TextWriter& out, const MetricsSnapshot& snapshot,
              const std::vector<std::string>& labels) {
  const struct {
    const char* name;
    const char* help;
    std::uint32_t HostFigures::*field;
  } extremes[] = {
      {"kelvoran_round_trip_min_seconds", "Shortest round trip since the host's last reset.",
       &HostFigures::minMilliseconds},
      {"kelvoran_round_trip_avg_seconds", "Mean round trip since the host's last reset.",
       &HostFigures::avgMilliseconds},
      {"kelvoran_round_trip_max_seconds", "Longest round trip since the host's last reset.",
       &HostFigures::maxMilliseconds},
  };
  for (const auto& extreme : extremes) {
    Family(out, extreme.name, "gauge", extreme.help);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      const HostFigures& host = snapshot.hosts[i];
      if (host.recordReplies != 0)
        out << extreme.name << '{' << labels[i] << "} " << Seconds(host.*extreme.field) << '\n';
    }
  }
}

void ProgramWide(TextWriter& out, const MetricsSnapshot& snapshot, std::string_view version) {
  Family(out, "kelvoran_probes_in_flight", "gauge", "Probes started and not yet back.");
  out << "kelvoran_probes_in_flight " << std::int64_t{snapshot.probesInFlight} << '\n';
  Family(out, "kelvoran_build_info", "info", "The program's version, as a label; always 1.");
  out << "kelvoran_build_info{version=\"" << LabelValue(version) << "\"} 1\n";
}

// What the program that runs the endpoint tells of itself; a figure it does
// not know has no family at all.
void MonitorHealth(TextWriter& out, const ProgramFigures& program) {
  if (program.tickLagSeconds) {
    Family(out, "kelvoran_tick_lag_seconds", "gauge",
           "How much later than due the last tick began.");
    out << "kelvoran_tick_lag_seconds " << *program.tickLagSeconds << '\n';
  }
  if (program.historyQueue) {
    Family(out, "kelvoran_history_waiting_results", "gauge",
           "Results handed to the history's writer and not yet written.");
    out << "kelvoran_history_waiting_results " << *program.historyQueue << '\n';
  }
  Family(out, "kelvoran_alerts_sent_total", "counter", "Alert deliveries that went through.");
  for (const ChannelFigures& channel : program.channels)
    out << "kelvoran_alerts_sent_total{channel=\"" << LabelValue(channel.channel) << "\"} "
        << channel.sent << '\n';
  Family(out, "kelvoran_alerts_failed_total", "counter",
         "Alert delivery attempts that failed, each retry counted.");
  for (const ChannelFigures& channel : program.channels)
    out << "kelvoran_alerts_failed_total{channel=\"" << LabelValue(channel.channel) << "\"} "
        << channel.failed << '\n';
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Media types and parameter names are case-insensitive (RFC 9110).
bool SameLetters(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

// One media range of an Accept header: its type, version and quality.
struct MediaRange {
  std::string_view type;
  std::string_view version;
  double quality = 1.0;
};

MediaRange ParseMediaRange(std::string_view text) {
  MediaRange range;
  std::size_t end = text.find(';');
  range.type = Trimmed(text.substr(0, end));
  while (end != std::string_view::npos) {
    text.remove_prefix(end + 1);
    end = text.find(';');
    const std::string_view parameter = Trimmed(text.substr(0, end));
    const auto equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trimmed(parameter.substr(0, equals));
    const std::string_view value = Trimmed(parameter.substr(equals + 1));
    if (SameLetters(key, "version")) range.version = value;
    if (SameLetters(key, "q") &&
        std::from_chars(value.data(), value.data() + value.size(), range.quality).ec != std::errc{})
      range.quality = 0;
  }
  return range;
}

}  // namespace

const char* ContentTypeOf(ExpositionFormat format) {
  return format == ExpositionFormat::OpenMetrics
             ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
             : "text/plain; version=0.0.4; charset=utf-8";
}

ExpositionFormat NegotiatedFormat(std::string_view accept) {
  double openMetrics = 0;
  double text = 0;
  while (!accept.empty()) {
    const auto comma = accept.find(',');
    const MediaRange range = ParseMediaRange(accept.substr(0, comma));
    accept.remove_prefix(comma == std::string_view::npos ? accept.size() : comma + 1);
    if (SameLetters(range.type, "application/openmetrics-text") &&
        (range.version.empty() || range.version == "1.0.0"))
      openMetrics = std::max(openMetrics, range.quality);
    else if (SameLetters(range.type, "text/plain") || SameLetters(range.type, "text/*") ||
             range.type == "*/*")
      text = std::max(text, range.quality);
  }
  return openMetrics > 0 && openMetrics >= text ? ExpositionFormat::OpenMetrics
                                                : ExpositionFormat::Text;
}

std::string LabelValue(std::string_view text) {
  const std::string utf8 = ToDisplayText(text);
  std::string escaped;
  escaped.reserve(utf8.size());
  for (const char c : utf8) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '"')
      escaped += "\\\"";
    else if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

std::string ExpositionText(const MetricsSnapshot& snapshot, std::string_view version,
                           ExpositionFormat format) {
  std::string text;
  // About 2 KB a host: reserved once rather than grown a few dozen times.
  text.reserve(1024 + snapshot.hosts.size() * 2048 + snapshot.program.channels.size() * 128);
  TextWriter out(text, format);
  const std::vector<std::string> labels = HostLabels(snapshot);
  Counters(out, snapshot, labels);
  RoundTrips(out, snapshot, labels);
  Statuses(out, snapshot, labels);
  Extremes(out, snapshot, labels);
  ProgramWide(out, snapshot, version);
  MonitorHealth(out, snapshot.program);
  if (format == ExpositionFormat::OpenMetrics) out << "# EOF\n";
  return text;
}

}  // namespace kelvoran
