#pragma once

#include <QString>

namespace kovrin::link {

// The agents whose terminals are being served now, in the whole program: by the Send Data
// and Receive Data screens and by each row of the Transfer Station. A download registers the
// agent of its file, an upload the agent its terminal names in the count record (not what
// was typed), from then until it has ended or been stored. While an agent is served, nothing
// else may write that agent's accounts, collections or files: a second transfer of the agent
// is refused, and so are Write Files Again and Store Again from a backup file.
namespace AgentsServed {

// An agent id as the register knows it: a number when it is all digits (005 and 5 are the
// same agent), else the text without its blanks.
QString key(const QString& agentId);

// Registers `owner` as serving the agent, described as `holder` ("port 3 of the Transfer
// Station"). Returns empty when done (or when `owner` serves it already); otherwise the
// holder that serves it now, and nothing is registered.
QString serve(const QString& agentId, const void* owner, const QString& holder);
// Ends what `owner` serves.
void release(const void* owner);
// Who serves the agent now: empty when nobody does, or only `except`.
QString holderOf(const QString& agentId, const void* except = nullptr);

}  // namespace AgentsServed

}  // namespace kovrin::link
