#pragma once

#include <QString>

// How a value query ended. The link says only this; what the panel makes of it (the value, the
// caller's default, "TimeOut") is decided in one place on the panel's side.
enum class QueryOutcome
{
    Answered, // value holds the jukebox's answer, never empty
    TimedOut, // no usable answer within the query time-out
    LinkDown  // the connection was gone before or during the wait; closed() has been raised
};

struct QueryResult
{
    QueryOutcome outcome = QueryOutcome::TimedOut;
    QString value;
};
