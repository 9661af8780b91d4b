#pragma once

#include <array>
#include <cstdint>
#include <vector>

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
//
// It remembers the tags written with the row each got (in one job; from a data list
// until the list goes), so that a written tag that comes back (it wobbled out of the
// field for one poll, or was put back later) is not written again with another row.
class CTagPoll {
public:
    struct Decision {
        bool newTag = false;        // a tag to work on now
        bool resultChanged = false; // no tag / error: other than at the last poll (shown again)
        bool tagTakenAway = false;  // the written tag is gone: next data-list row
        bool writtenBefore = false; // a tag written in this job is back: not written again
        int writtenRow = -1;        // the row it got (-1: no data list)
    };

    // At the start of a job: nothing seen yet.
    void Reset();
    // At the start of cyclic writing: no write done yet.
    void ResetWriteResult() { m_lastWriteOk = -1; }
    // After each cyclic write step on the tag polled last; row: the data-list row
    // written (-1 without a list).
    void SetLastWriteOk(bool ok, int row = -1);
    // The last write succeeded and its tag has not been seen leaving.
    bool WrittenTagOnReader() const;
    // Forgets the tags written (a job on another record or list begins).
    void ForgetWrittenTags() { m_written.clear(); }

    Decision Evaluate(const TagPollReading& reading, bool cyclicWrite);

private:
    int m_state = -1;
    int m_index = 0;
    int m_extraNumber = 0;
    std::array<std::uint8_t, 8> m_uid{};
    int m_lastWriteOk = -1; // 1 ok, 0 failed, -1 unknown
    struct WrittenTag {
        std::array<std::uint8_t, 8> uid;
        int row;
    };
    std::vector<WrittenTag> m_written;
};
