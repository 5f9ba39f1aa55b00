#pragma once
// One edit of a list of the kinds a user makes, drawn at random: add (kind
// 0), replace (1), remove (2), move up (3) or down (4); a kind from 5 to
// nKinds - 1 is the caller's own edit of element i. fnNew gives the value
// added (i < 0) or put in place of element i.
template <class TList, class TPick, class TNew, class TOwn>
void RandomEdit(TList& list, TPick pick, int nKinds, TNew fnNew, TOwn fnOwn) {
    const int n = list.GetSize();
    const int i = n ? pick(0, n - 1) : 0;
    switch (const int nKind = n ? pick(0, nKinds - 1) : 0) {
        case 0: list.Add(fnNew(-1)); break;
        case 1: list.SetAt(i, fnNew(i)); break;
        case 2: list.RemoveAt(i); break;
        case 3:
            if (i > 0) list.MoveUp(i);
            break;
        case 4:
            if (i + 1 < n) list.MoveDown(i);
            break;
        default: fnOwn(i, nKind);
    }
}
