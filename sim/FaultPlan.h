#pragma once

#include "link/Messages.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// What a slow or broken jukebox does wrong, chosen per run. The server reads the plan at the
// moment it acts, so a test may change it between two messages. Everything is off by default.
struct FaultPlan
{
    // Answers to value queries go out this much later: for the names in delayedValues, or for
    // every name when that list is empty. Login answers and notices are never delayed.
    int answerDelayMs = 0;
    QStringList delayedValues;
    // Queries for these names are never answered.
    QStringList withheldValues;
    // These names are answered with an empty value ("Credit|"), which the client does not take.
    QStringList emptyValues;
    // Queries for these names are answered with the given whole text instead of name + "|" +
    // value: what a confused jukebox might send ("Credit|3|4", "volume|3", "SongPos|-5").
    QHash<QString, QString> scriptedAnswers;
    // Login attempts get no answer at all; the connection stays open.
    bool withholdLogin = false;
    // Commands are recorded but not carried out, so no notice confirms them.
    bool ignoreCommands = false;

    // Every frame goes out one byte per write with this pause between bytes.
    bool byteByByte = false;
    int bytePauseMs = 5;
    // Output is held until control returns to the event loop and then written in one piece,
    // so an answer and the notices around it arrive together.
    bool coalesce = false;

    // Right after each successful login: garbageBytes seeded random bytes, then floodCount
    // copies of floodNotice, each in one write.
    int garbageBytes = 0;
    quint32 garbageSeed = 1;
    int floodCount = 0;
    QString floodNotice = Msg::ChangeCredit;

    // A connection is closed on receipt of its closeAfterMessages-th message, which is recorded
    // but not acted on; 0 never closes.
    int closeAfterMessages = 0;

    int answerDelay(const QString &name) const
    {
        return delayedValues.isEmpty() || delayedValues.contains(name) ? answerDelayMs : 0;
    }
    bool withholds(const QString &name) const { return withheldValues.contains(name); }
    bool empties(const QString &name) const { return emptyValues.contains(name); }
};

// count pseudo-random bytes, the same for the same seed. 0x02 is left out: a stray start byte
// would swallow the real frames behind it, a different fault from line noise that the client
// skips. A count below 1 gives nothing.
QByteArray GarbageBytes(int count, quint32 seed);
