// Parameter lists: lookup by name without regard to case.
#include "quantora/dblayer/TParam.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/SqlText.h"

TParam* TParams::FindParam(const AnsiString& name) const {
    for (const auto& p : items_)
        if (quantora::db::SameName(p->Name(), name)) return p.get();
    return nullptr;
}

TParam* TParams::ParamByName(const AnsiString& name) const {
    TParam* p = FindParam(name);
    if (!p) throw EDatabaseError(quantora::Format("Parameter '%s' not found", name.c_str()));
    return p;
}

void TParams::Rebuild(const std::vector<AnsiString>& names) {
    std::vector<std::unique_ptr<TParam>> next;
    next.reserve(names.size());
    for (const AnsiString& n : names) {
        std::unique_ptr<TParam> kept;
        for (auto& p : items_)
            if (p && quantora::db::SameName(p->Name(), n)) kept = std::move(p);
        next.push_back(kept ? std::move(kept) : std::make_unique<TParam>(n));
    }
    items_ = std::move(next);
}
