// Work on the children of one element of a large tree, shared out between
// this thread, which takes them from the first on, and a helper, which takes
// them from the last back, each the next that nobody has taken, until they
// meet: whichever way the work falls, both stay busy.
#pragma once

#include <cstddef>
#include <functional>

#include "model/tree.h"

namespace ps {

// `work` does child k with the context of the thread doing it (`helper`
// says which). It may change only that child's subtree and what it puts
// after the child, so that the two threads touch nothing in common. The
// helper's context is its own: its messages join this thread's in document
// order once both are done, and the tables it counts are numbered on from
// this thread's. A child `helperMay` refuses stays this thread's, and so do
// the ones before it. Without a second thread this one does them all.
void ShareChildren(Context& ctx, std::size_t count, const std::function<void(Context&, std::size_t, bool)>& work,
                   const std::function<bool(std::size_t)>& helperMay = {});

// Whether a walk on this context may share out the part of a table that
// the input holds from `from`'s tag to the end of `through`'s subtree: the
// other side of the sharing the walk is part of has no more to take, and
// the part is worth a thread (Context::shareTablesFrom).
bool MayShareTable(const Context& ctx, const TagNode* from, const TagNode* through);
// The same for the rows of a table body (of two rows or more): the end of
// a page's largest table would otherwise run on one core.
bool MayShareRows(const Context& ctx, const TagNode* body);
// The same for the rows of a body from `row` on (two or more), once the rows
// before it are walked: the other side may have run out of work since.
bool MayShareRowsFrom(const Context& ctx, const TagNode* body, const TagNode* row);

// The element whose children a walk of `top`'s subtree shares out
// (ParentToSplitAt, or ParentToSplit for a tree read from no input);
// nullptr below the context's size for two threads, and
// when the run is traced (the trace keeps its order).
const TagNode* SplitParentFor(const Context& ctx, TagNode* top);

}  // namespace ps
