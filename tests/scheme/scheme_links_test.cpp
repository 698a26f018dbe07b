// The schemes' own link tables, held against the elements their
// constructors make: every row's two elements exist, no link field is
// written by two rows, and each link holds what its row says once the
// constructor has returned.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "plugin/plug_window_rec_win.h"
#include "scheme/lib_folder_scheme_win.h"
#include "scheme/viewer_scheme_win.h"

using namespace hi;

namespace {

template <class Scheme>
void ExpectTableMade(Scheme& scheme) {
  std::set<const TEventLink*> written;
  for (size_t i = 0; i < Scheme::LinkCount; ++i) {
    const TSchemeLink<Scheme>& row = Scheme::Links()[i];
    SCOPED_TRACE("row " + std::to_string(i + 1));
    ASSERT_NE(row.SourceElement(scheme), nullptr);
    ASSERT_NE(row.TargetElement(scheme), nullptr);
    const TEventLink& field = row.Source(scheme);
    EXPECT_TRUE(written.insert(&field).second) << "a second row writes the same link";
    const TEventLink want = row.Target(scheme);
    EXPECT_EQ(field.Method, want.Method);
    EXPECT_EQ(field.Target, want.Target);
    EXPECT_EQ(field.Index, want.Index);
  }
}

TEST(SchemeLinks, ViewerAndSettingsSchemesMakeEveryRowOfTheirTables) {
  TPlugWindowRec rec;
  THIMultiElementEx container(0, 0);
  TClassListPlug_97CE780 viewer(&container, &rec, nullptr);
  ExpectTableMade(viewer);

  // The settings scheme is made at once, not on demand.
  ASSERT_EQ(viewer.LibFolderBox->Instances.size(), 1u);
  auto* settings = static_cast<TClassMultiElementEx_97D3AB0*>(viewer.LibFolderBox->Instances[0]->Owner);
  ExpectTableMade(*settings);
}

}  // namespace
