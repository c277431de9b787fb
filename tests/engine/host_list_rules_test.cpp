// The host list's rules on a plain vector of records: one table a rule.
#include "engine/host_list_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "engine/host_record.h"
#include "tests/engine/fake_host_rows.h"

namespace kelvoran {
namespace {

using Names = std::vector<std::string>;
using testing::FakeHostRows;

// Rows of these names, each saved under its own name unless `sections`
// gives another (a hand-edited file's longer section name).
void AddHosts(FakeHostRows& rows, const Names& names, const Names& sections = {}) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    HostRecord& host = rows.Add();
    host.Host = names[i];
    host.Section = i < sections.size() && !sections[i].empty() ? sections[i] : names[i];
  }
}

Names HostNames(FakeHostRows& rows, const std::vector<int>& order) {
  Names names;
  for (const int row : order) names.push_back(rows.RecordAt(row).Host);
  return names;
}

// A name the settings file reads as a section a host holds is that host's:
// the dialog refuses it for a second host, and an edit to it stays in place.
TEST(HostListRules, NamesOfOneSectionAreOneHost) {
  const std::string longSection(1500, 'z');
  FakeHostRows rows;
  AddHosts(rows, {"127.0.0.1", "localhost", "other", longSection.substr(0, 1023)},
           {"", "", "", longSection});
  const std::int32_t first = rows.RecordAt(0).HostId;
  const struct {
    const char* name;
    std::int32_t except;
    int holder;  // row, or -1 for none
  } cases[] = {{"127.0.0.1", 0, 0},        {" 127.0.0.1 ", 0, 0}, {"127.0.0.1 ", first, -1},
               {" LOCALHOST", first, 1},   {"127.0.0.2", 0, -1},  {"", 0, -1},
               {longSection.c_str(), 0, 3}};
  for (const auto& [name, except, holder] : cases) {
    const HostRecord* found = FindSectionHolder(rows, name, except);
    EXPECT_EQ(found, holder < 0 ? nullptr : &rows.RecordAt(holder)) << "[" << name << "]";
  }
}

TEST(HostListRules, AnEditIsRefusedMadeInPlaceOrMovesTheHost) {
  FakeHostRows rows;
  AddHosts(rows, {"alpha", std::string(1023, 'z')}, {"", std::string(1500, 'z')});
  const struct {
    int row;
    std::string name;
    HostEdit edit;
  } cases[] = {{0, "", HostEdit::Refused},
               {0, "alpha", HostEdit::InPlace},
               {0, " ALPHA ", HostEdit::InPlace},
               {0, "delta", HostEdit::Moves},
               {1, std::string(1023, 'z'), HostEdit::InPlace},
               {1, std::string(1500, 'z'), HostEdit::InPlace},
               {1, "z", HostEdit::Moves}};
  for (const auto& [row, name, edit] : cases)
    EXPECT_EQ(ClassifyEdit(rows.RecordAt(row), name), edit) << row << " [" << name << "]";
}

// A new row goes after the names equal to it or less, ignoring case.
TEST(HostListRules, ANewHostIsInsertedByName) {
  FakeHostRows rows;
  AddHosts(rows, {"alpha", "ALPHA", "delta", "gamma"});
  const std::pair<const char*, int> cases[] = {{"", 0},      {"Alpha", 2}, {"beta", 2},
                                               {"DELTA", 3}, {"omega", 4}, {"\xE9", 4}};
  for (const auto& [name, row] : cases) EXPECT_EQ(InsertPosition(rows, name), row) << name;
  EXPECT_EQ(InsertPosition(FakeHostRows(), "x"), 0);
}

// Hosts joining at once (the file read at start, an import, another copy's
// additions) stand as inserting each in turn left them: a file is not in name
// order, and names equal ignoring case keep the order they came in.
TEST(HostListRules, HostsAddedAtOnceStandAsAddedOneByOne) {
  using Placed = std::vector<std::pair<int, std::string>>;
  const struct {
    Names listed;
    Names added;
    Placed placed;
  } cases[] = {{{},
                {"b", "A", "c", "a", "B", "A"},
                {{0, "A"}, {0, "a"}, {0, "A"}, {0, "b"}, {0, "B"}, {0, "c"}}},
               {{"a", "C", "c"},
                {"c", "A", "b", "a", "D", ""},
                {{0, ""}, {1, "A"}, {1, "a"}, {1, "b"}, {3, "c"}, {3, "D"}}}};
  for (const auto& [listed, added, placed] : cases) {
    FakeHostRows rows;
    AddHosts(rows, listed);
    std::vector<std::unique_ptr<HostRecord>> hosts;
    for (const std::string& name : added) {
      hosts.push_back(std::make_unique<HostRecord>());
      hosts.back()->Host = name;
    }
    Placed got;
    for (const auto& [row, host] : PlaceNewRows(rows, std::move(hosts)))
      got.emplace_back(row, host->Host);
    EXPECT_EQ(got, placed) << ::testing::PrintToString(added);
  }
}

// A host with the given counts; a negative `delay` means the last probe
// failed, and `response`, when given, goes into minimum, average and maximum.
void SetCounts(HostRecord& host, std::uint32_t sent, std::uint32_t received, int delay = 0,
               std::uint32_t response = NoMinResponse) {
  host.SentCount = sent;
  host.ReceivedCount = received;
  host.FailedCount = sent - received;
  host.LastDelay = delay;
  if (response != NoMinResponse) host.MinResponse = host.AvgResponse = host.MaxResponse = response;
}

TEST(HostListRules, HeaderClicksGiveSortKeysAndEachColumnItsOrder) {
  const struct {
    std::int32_t last;
    int column;
    std::int32_t next;
  } clicks[] = {{0, 0, 65536},     {65536, 0, 0},     {0, 3, 3},
                {3, 3, 3 + 65536}, {3 + 65536, 3, 3}, {3 + 65536, 5, 5},
                {4, 9, 0},         {0, -1, 65536},    {0, 8, 8}};
  for (const auto& c : clicks)
    EXPECT_EQ(NextSortKey(c.last, c.column), c.next) << c.last << " then column " << c.column;
  EXPECT_GT(CompareHostNames("A", "["), 0) << "letters fold to lower case before bytes compare";
  EXPECT_LT(CompareHostNames("abc", "\xe9"), 0) << "bytes compare unsigned";

  // Rows in the order added: three-quarters, unprobed, all, spread, failed.
  FakeHostRows rows;
  AddHosts(rows, {"three-quarters", "unprobed", "All", "spread", "failed"});
  SetCounts(rows.RecordAt(0), 4, 3, 20, 20);
  SetCounts(rows.RecordAt(2), 2, 2, 5, 5);
  SetCounts(rows.RecordAt(3), 2, 2, 5, 1);
  rows.RecordAt(3).MaxResponse = 50;
  SetCounts(rows.RecordAt(4), 1, 0, -1);
  rows.RecordAt(4).ResultCode = 610;
  rows.RecordAt(2).Description = "b";
  rows.RecordAt(0).Description = "A";
  const std::pair<std::int32_t, Names> orders[] = {
      {0, {"All", "failed", "spread", "three-quarters", "unprobed"}},
      {65536, {"unprobed", "three-quarters", "spread", "failed", "All"}},
      {1, {"unprobed", "spread", "failed", "three-quarters", "All"}},
      {2, {"failed", "unprobed", "All", "spread", "three-quarters"}},
      {4, {"unprobed", "failed", "three-quarters", "All", "spread"}},
      {4 + 65536, {"All", "spread", "three-quarters", "failed", "unprobed"}},
      {5, {"spread", "All", "three-quarters", "unprobed", "failed"}},
      {7, {"unprobed", "failed", "All", "three-quarters", "spread"}},
      {8, {"three-quarters", "unprobed", "All", "spread", "failed"}},
      // A hand-edited key past the last column sorts by name.
      {9, {"All", "failed", "spread", "three-quarters", "unprobed"}}};
  for (const auto& [key, names] : orders)
    EXPECT_EQ(HostNames(rows, SortedRowOrder(rows, key)), names) << key;

  // The error column: the code, then the value.
  FakeHostRows errors;
  AddHosts(errors, {"zero", "failed", "popup-1", "ok"});
  for (const auto& [row, code, value] :
       {std::tuple(0, 13000, 5), {1, 610, 0}, {2, 13000, -1}, {3, 0, 0}})
    std::tie(errors.RecordAt(row).ResultCode, errors.RecordAt(row).ResultValue) =
        std::tuple(code, value);
  EXPECT_EQ(HostNames(errors, SortedRowOrder(errors, 8)),
            (Names{"ok", "failed", "popup-1", "zero"}));
}

// An import adds only what no row and no earlier line holds; an undo takes
// out the imported hosts still listed, and not a section another host needs.
TEST(HostListRules, ImportSkipsHostsListedAndUndoRemovesOnlyItsOwnSections) {
  FakeHostRows rows;
  AddHosts(rows, {"alpha", "gamma"});
  HostRecord start;
  start.Delay = 10;
  start.PacketSize = 32;
  const std::vector<HostListEntry> entries = {
      {"ALPHA", "dup", 1}, {"beta", "Second", 2}, {"zeta", "", 3}, {"Beta", "", 4}};
  std::size_t skipped = 0;
  auto added = NewHosts(rows, entries, start, skipped);
  EXPECT_EQ(skipped, 2u);
  ASSERT_EQ(added.size(), 2u);
  const HostRecord& beta = *added[0];
  EXPECT_EQ(std::tie(beta.Host, beta.Description, beta.Section, beta.Delay, beta.PacketSize),
            std::tuple("beta", "Second", "beta", 10, 32u));
  EXPECT_EQ(added[1]->Host, "zeta");
  EXPECT_NE(beta.HostId, added[1]->HostId) << "each host an id of its own";
  EXPECT_NE(beta.HostId, start.HostId);

  std::unordered_set<std::int32_t> imported;
  for (auto& record : added) {
    imported.insert(record->HostId);
    rows.AddRow(std::move(record));
  }
  // A host of the import's deleted since, and an old host sharing its
  // section with an imported one, as a hand-edited file may have it.
  imported.insert(-7);
  rows.Add().Host = "ZETA";
  EXPECT_EQ(StillListed(rows, imported).size(), 2u);
  EXPECT_EQ(LastImportSections(rows, StillListed(rows, imported)), Names{"beta"});
  EXPECT_EQ(LastImportSections(rows, {}), Names{});
}

}  // namespace
}  // namespace kelvoran
