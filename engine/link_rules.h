// How a measurement treats links (symbolic links and junctions; under Wine every Linux
// symbolic link to a folder): each byte is counted once. A link to something inside the
// target counts 0, as its bytes are counted at their real place; a link leading back
// above the target counts 0, or the walk would never end; what a link reaches outside
// the target is counted once per run, at the first link by full path. With links not
// followed, every link counts 0.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/entries.h"

namespace lurmo {

struct RunParameters;

// What one run knows of links, shared by its measuring threads and kept for the notices
// of the watch that follows it. Everything but `reached` is fixed once prepared.
struct LinkLedger {
    LinkLedger();
    ~LinkLedger();
    LinkLedger(const LinkLedger&) = delete;
    LinkLedger& operator=(const LinkLedger&) = delete;

    bool follow = true;
    std::wstring walkRoot;      // the target as the walks spell it, without trailing backslash
    std::wstring targetFinal;   // the same as the system resolves it
    // Outside data already counted: its resolved path and the full path of the link
    // that counted it. Guarded by lock, as folders arriving while watched are measured
    // on threads of their own.
    struct Reach {
        std::wstring final;
        std::wstring link;
    };
    std::vector<Reach> reached;
    CRITICAL_SECTION lock;
};

// The target of params (SetScanTarget) as the walks spell it: without its trailing
// backslash, but a volume root keeps it.
std::wstring LinkWalkRoot(const RunParameters& params);
// A ledger for the target that params holds (SetScanTarget).
std::shared_ptr<LinkLedger> MakeLinkLedger(const RunParameters& params, bool follow);
// Gives params a ledger that follows links when it has none yet.
LinkLedger& EnsureLinkLedger(RunParameters& params);

enum class LinkPlace {
    NotALink,   // a reparse point that leads nowhere else (a cloud or deduplicated file)
    Uncounted,  // not followed, inside the target, above it, or unresolvable: counts 0
    Outside,    // to be counted once, in the order of the links' full paths
};

// Places the item whose full path is `path` and whose find data carries the reparse
// attribute; for an outside link, `final` receives where it leads.
LinkPlace PlaceLink(const LinkLedger& ledger, const std::wstring& path, std::wstring& final);

// A link leading outside the target, found by a walk and measured after it.
struct PendingLink {
    std::wstring key;      // its full path as reached from the target: the order of counting
    std::wstring final;    // where it leads
    bool folder = false;
    ChildMap* map = nullptr;   // where a folder's tree goes; null when only summing
    // The nodes that gain its bytes: those above it, its own last; empty when only summing.
    std::vector<Node*> chain;
    uint64_t* owner = nullptr;    // the row's size, which gains them too
    NodeArena* arena = nullptr;   // where the nodes of its tree come from
};

// Measures the links in the order of their keys, and the links found behind them. Each
// gets the bytes of what it reaches that no link before it (in this run or watch) has
// reached; they go to its chain and to its owner. A link without owner or arena takes
// the ones given here.
void MeasureOutsideLinks(RunParameters& params, std::vector<PendingLink>& links, uint64_t* owner,
                         NodeArena* arena);

// Forgets what the link at `path` (a full path) and the links below it reached, so that a
// link made later may count it.
void ForgetReached(LinkLedger& ledger, const std::wstring& path);

// True when path is folder itself or lies below it (compared without regard to case).
bool IsWithin(const std::wstring& path, const std::wstring& folder);

}  // namespace lurmo
