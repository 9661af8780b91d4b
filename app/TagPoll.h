#pragma once

#include <array>
#include <cstdint>

// What one UID poll of a cyclic job found: the engine's result after ReadUid and the
// UID (zeros when there is none).
struct TagPollReading {
    int state = -1;
    int index = 0;
    int extraNumber = 0;
    std::array<std::uint8_t, 8> uid{};
};

// The cyclic jobs' memory of the last poll, and the decision whether a tag on the
// reader is a new one to work on. A tag is worked on once: when it appears after a
// poll without a tag (or a failed poll), or when its UID differs from the last one.
//
// During cyclic writing it also tells when the tag just written successfully has
// been taken away, so that the form moves to its next data-list row: when a poll
// finds no tag, and also when a tag of another UID lies there without an empty poll
// in between (the new tag is then written at the next poll, after the row moved on).
class CTagPoll {
public:
    struct Decision {
        bool newTag = false;        // a tag to work on now
        bool resultChanged = false; // no tag / error: other than at the last poll (shown again)
        bool tagTakenAway = false;  // the written tag is gone: next data-list row
    };

    // At the start of a job: nothing seen yet.
    void Reset();
    // At the start of cyclic writing: no write done yet.
    void ResetWriteResult() { m_lastWriteOk = -1; }
    // After each cyclic write step.
    void SetLastWriteOk(bool ok) { m_lastWriteOk = ok ? 1 : 0; }

    Decision Evaluate(const TagPollReading& reading, bool cyclicWrite);

private:
    bool WrittenTagSeen() const;

    int m_state = -1;
    int m_index = 0;
    int m_extraNumber = 0;
    std::array<std::uint8_t, 8> m_uid{};
    int m_lastWriteOk = -1; // 1 ok, 0 failed, -1 unknown
};
