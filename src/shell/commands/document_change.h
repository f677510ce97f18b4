// SPDX-License-Identifier: GPL-3.0-or-later
// A menu command that changes rows or survey values, run as one change of the document.
#pragma once

#include "document/document_session.h"

#include <string>
#include <type_traits>
#include <utility>

namespace zelt::shell {

/// Runs `work` as one change of `session` (docs/journal.md): the journal is written first (a
/// folder or companion that cannot be written refuses the command, throwing, before anything
/// changes), and when `work` returns or throws the companions are written, the rows made durable
/// and the journal removed. A kill or a power loss in between is rolled back by the next open.
/// An error of `work` keeps what it did, as the commands always have; it is rethrown.
template <typename Work>
auto runAsChange(document::DocumentSession& session, const std::string& what, Work&& work)
{
    session.beginChange(what);
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
            std::forward<Work>(work)();
            session.commitChange();
        } else {
            auto result = std::forward<Work>(work)();
            session.commitChange();
            return result;
        }
    } catch (...) {
        try {
            session.commitChange();
        } catch (...) {  // the command's own error is the one shown; the journal then stays
        }
        throw;
    }
}

}  // namespace zelt::shell
