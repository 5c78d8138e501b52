#include "engine/link_rules.h"

#include <algorithm>
#include <cwchar>
#include <queue>
#include <utility>

#include "engine/file_system.h"
#include "engine/folder_walk.h"
#include "engine/size_rule.h"

namespace lurmo {

namespace {

// Full paths in the order of their names: component by component, so that a separator
// sorts before every character of a name.
bool ComesLater(const PendingLink& a, const PendingLink& b) {
    const size_t length = std::min(a.key.size(), b.key.size());
    for (size_t i = 0; i < length; ++i) {
        const unsigned x = a.key[i] == L'\\' ? 0u : a.key[i];
        const unsigned y = b.key[i] == L'\\' ? 0u : b.key[i];
        if (x != y) return x > y;
    }
    return a.key.size() > b.key.size();
}

struct LedgerLock {
    explicit LedgerLock(LinkLedger& ledger) : ledger(ledger) { EnterCriticalSection(&ledger.lock); }
    ~LedgerLock() { LeaveCriticalSection(&ledger.lock); }
    LedgerLock(const LedgerLock&) = delete;
    LedgerLock& operator=(const LedgerLock&) = delete;
    LinkLedger& ledger;
};

// Claims what the link reaches for it: false when a link before it reached it already.
// Data reached earlier that lies within it goes to `excluded`, to be passed over.
bool ClaimReach(LinkLedger& ledger, const PendingLink& link, std::vector<std::wstring>& excluded) {
    LedgerLock lock(ledger);
    excluded.clear();
    for (const LinkLedger::Reach& reach : ledger.reached) {
        if (IsWithin(link.final, reach.final)) return false;
        if (IsWithin(reach.final, link.final)) excluded.push_back(reach.final);
    }
    ledger.reached.push_back({link.final, link.key});
    return true;
}

uint64_t MeasureLinkedFile(RunParameters& params, const PendingLink& link) {
    WIN32_FIND_DATAW data;
    if (!FindItem(link.final, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    params.path = link.final;
    return MeasureFileSize(params, data, link.final.rfind(L'\\') + 1);
}

}  // namespace

std::wstring LinkWalkRoot(const RunParameters& params) {
    std::wstring root = params.path.substr(0, params.nameSlot);
    if (root.size() > 7 && root.back() == L'\\') root.pop_back();
    return root;
}

LinkLedger::LinkLedger() { InitializeCriticalSection(&lock); }
LinkLedger::~LinkLedger() { DeleteCriticalSection(&lock); }

bool IsWithin(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    if (_wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0) return false;
    return path.size() == folder.size() || folder.back() == L'\\' || path[folder.size()] == L'\\';
}

std::shared_ptr<LinkLedger> MakeLinkLedger(const RunParameters& params, bool follow) {
    auto ledger = std::make_shared<LinkLedger>();
    ledger->follow = follow;
    ledger->walkRoot = LinkWalkRoot(params);
    // A target reached through a link or a substituted drive lies where the system says.
    if (!ResolveFinalPath(ledger->walkRoot, ledger->targetFinal)) ledger->targetFinal = ledger->walkRoot;
    return ledger;
}

LinkLedger& EnsureLinkLedger(RunParameters& params) {
    if (!params.links) params.links = MakeLinkLedger(params, true);
    return *params.links;
}

LinkPlace PlaceLink(const LinkLedger& ledger, const std::wstring& path, std::wstring& final) {
    if (!ResolveFinalPath(path, final)) return LinkPlace::Uncounted;
    // Where the item would lie were it no link: below the target, or, behind a link
    // that was followed, where the walk already stands.
    std::wstring own = path;
    if (IsWithin(path, ledger.walkRoot)) own = ledger.targetFinal + path.substr(ledger.walkRoot.size());
    if (_wcsicmp(own.c_str(), final.c_str()) == 0) return LinkPlace::NotALink;
    if (!ledger.follow) return LinkPlace::Uncounted;
    if (IsWithin(final, ledger.targetFinal) || IsWithin(ledger.targetFinal, final)) return LinkPlace::Uncounted;
    return LinkPlace::Outside;
}

void MeasureOutsideLinks(RunParameters& params, std::vector<PendingLink>& links, uint64_t* owner,
                         NodeArena* arena) {
    if (links.empty()) return;
    LinkLedger& ledger = EnsureLinkLedger(params);
    const std::wstring path = params.path;
    for (PendingLink& link : links) {
        if (!link.owner) link.owner = owner;
        if (!link.arena) link.arena = arena;
    }
    std::priority_queue<PendingLink, std::vector<PendingLink>, bool (*)(const PendingLink&, const PendingLink&)>
        queue(ComesLater, std::move(links));
    links.clear();
    std::vector<std::wstring> excluded;
    while (!queue.empty() && !IsCancelled(params)) {
        PendingLink link = queue.top();
        queue.pop();
        if (!ClaimReach(ledger, link, excluded)) continue;
        uint64_t bytes = 0;
        if (!link.folder) {
            bytes = MeasureLinkedFile(params, link);
        } else {
            WalkJob job;
            job.path = link.final;
            job.map = link.map;
            job.chain = link.chain;
            params.path = link.final;
            params.excluded = std::move(excluded);
            WalkFolder(params, job, link.map ? link.arena : nullptr, nullptr);
            excluded = std::move(params.excluded);
            params.excluded.clear();
            bytes = job.total;
            // Links behind this one are counted in the same order, by their paths as
            // reached from the target.
            for (PendingLink& inner : job.links) {
                std::wstring rest = inner.key.substr(link.final.size());
                if (!rest.empty() && rest[0] != L'\\') rest.insert(0, 1, L'\\');   // behind a volume root
                inner.key = link.key + rest;
                inner.owner = link.owner;
                inner.arena = link.arena;
                queue.push(std::move(inner));
            }
        }
        for (Node* node : link.chain) node->size += bytes;
        *link.owner += bytes;
    }
    params.path = path;
}

void ForgetReached(LinkLedger& ledger, const std::wstring& path) {
    LedgerLock lock(ledger);
    auto gone = [&path](const LinkLedger::Reach& reach) { return IsWithin(reach.link, path); };
    ledger.reached.erase(std::remove_if(ledger.reached.begin(), ledger.reached.end(), gone), ledger.reached.end());
}

}  // namespace lurmo
