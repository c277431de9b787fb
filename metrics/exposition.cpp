#include "metrics/exposition.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "engine/host_record.h"
#include "portable/ansi_text.h"

namespace kelvoran {
namespace {

constexpr const char* kFailureLabels[kFailureKinds] = {"timed_out", "unreachable", "other_error"};
constexpr const char* kStatusLabels[] = {"OK", "WARNING", "ERROR"};

// Appends numbers with std::to_chars: the shortest form that reads back the
// same, in the C locale whatever the process's locale is.
class TextWriter {
 public:
  explicit TextWriter(std::string& out) : out_(out) {}
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
};

void Family(TextWriter& out, std::string_view name, std::string_view type, std::string_view help) {
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
  Family(out, "kelvoran_build_info", "gauge", "The program's version, as a label; always 1.");
  out << "kelvoran_build_info{version=\"" << LabelValue(version) << "\"} 1\n";
}

}  // namespace

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

std::string ExpositionText(const MetricsSnapshot& snapshot, std::string_view version) {
  std::string text;
  // About 2 KB a host: reserved once rather than grown a few dozen times.
  text.reserve(512 + snapshot.hosts.size() * 2048);
  TextWriter out(text);
  const std::vector<std::string> labels = HostLabels(snapshot);
  Counters(out, snapshot, labels);
  RoundTrips(out, snapshot, labels);
  Statuses(out, snapshot, labels);
  Extremes(out, snapshot, labels);
  ProgramWide(out, snapshot, version);
  return text;
}

}  // namespace kelvoran
