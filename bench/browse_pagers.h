// The two sides of the browse paging comparison. Each shows one page of ITEMS
// in description order (the ITE:ITEMS key, the inventory's "DESCRIPTION" tab)
// and moves it the way a user does: a page down, or a drop of the scroll thumb
// at a key value.
//
//   the native side  the browse pattern's own routines (StepPage, the thumb's
//                    relocation through the order's key spread) over ITEMS.QVF,
//                    through the view and the file access layer, with a list
//                    that shows `page` rows and draws nothing
//   the SQL side     the same columns of the same rows in SQLite, the page
//                    after the last row shown found by keyset pagination
//                    (WHERE (item, rowid) > (?, ?) ORDER BY item, rowid LIMIT
//                    page), a jump by WHERE item >= ?; the values are copied
//                    out of each row as a list would need them
//
// Both answer, for every move, the item codes of the page they now show, so
// that the run can check that they showed the same rows.
#ifndef VORSANDT_BENCH_BROWSE_PAGERS_H_
#define VORSANDT_BENCH_BROWSE_PAGERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorsandt::bench {

class Pager {
 public:
  virtual ~Pager() = default;
  // Opens the table in the current folder and shows the first page.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // The first page again (not a timed move).
  virtual void Top() = 0;
  // One page further; false when the page could not move a whole page (the
  // end of the order).
  virtual bool PageDown() = 0;
  // The thumb dropped at `pos` (2..99): the page that starts at the first
  // record whose description is at or after the spread's value `pos`.
  virtual void Jump(int pos) = 0;
  // Sum of the item codes of the rows shown now.
  virtual int64_t PageChecksum() const = 0;
};

// The native side. InitDictionary must have declared the tables with the
// native driver; ITEMS.QVF is in the current folder. `spread` receives the
// order's 100 key values that the thumb's positions stand for. `quick_scan`:
// loads of more than one record run in the table's QUICKSCAN mode, as the
// browses marked for it do (the inventory's own browse is not).
std::unique_ptr<Pager> MakeBrowsePager(int page, bool quick_scan, std::vector<std::string>* spread);

// The SQL side over the SQLite file `path` (the bench's ITEMS schema); the
// thumb's positions stand for the native side's `spread`.
std::unique_ptr<Pager> MakeSqlPager(const std::string& path, int page,
                                    const std::vector<std::string>* spread);

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_BROWSE_PAGERS_H_
