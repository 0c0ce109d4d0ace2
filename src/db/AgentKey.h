#pragma once

// How the program compares agent identifiers, the same way everywhere: the download file's
// (15 columns, fewer when its records are short), the typed agent number, the terminal's count
// frame (15 characters) and the rows stored from them. Blanks around an identifier do not
// count; an identifier of digits only is a number, compared by value ("5", "005" and
// "000000000000005" are agent 5); any other is compared as the text it is.

#include <QString>

namespace kovrin {

// The identifier as it compares: without surrounding blanks (space, tab, CR, LF); when that is
// digits only, without its leading zeros ("0" for zeros only). Empty for a blank identifier.
QString agentKey(const QString& agentId);

// The two identifiers name the same agent.
bool sameAgent(const QString& a, const QString& b);

// The SQL expression that gives agentKey of `column` in a statement: the stores find an
// agent's rows with "<expression> = ?" bound to agentKey(agent), and the expression indexes
// of schema.sql (written there as AGENT_KEY(column)) are made of the same text, so that the
// engine uses them.
QString agentKeySql(const QString& column);

// "<agentKeySql of AgentID> = ?", to be bound to agentKey(agent): the condition that picks an
// agent's rows.
const QString& agentIsSql();

}  // namespace kovrin
