#include "app/TagPoll.h"

#include "app/OperationResult.h"

#include <algorithm>

void CTagPoll::Reset() {
    m_state = -1;
    m_index = 0;
    m_extraNumber = 0;
    m_uid = {};
}

bool CTagPoll::WrittenTagOnReader() const {
    return m_state == 0 && m_index == OperationResult::kRead && m_lastWriteOk == 1;
}

void CTagPoll::SetLastWriteOk(bool ok, int row) {
    m_lastWriteOk = ok ? 1 : 0;
    if (ok) m_written.push_back({m_uid, row});
}

CTagPoll::Decision CTagPoll::Evaluate(const TagPollReading& reading, bool cyclicWrite) {
    Decision decision;
    if (reading.state != 0) {
        m_uid = {};
        decision.tagTakenAway = cyclicWrite && WrittenTagOnReader();
        decision.resultChanged =
            reading.state != m_state || reading.index != m_index ||
            (reading.index == OperationResult::kTooManyCharacters && reading.extraNumber != m_extraNumber);
        if (decision.resultChanged) {
            m_state = reading.state;
            m_index = reading.index;
            m_extraNumber = reading.extraNumber;
        }
        return decision;
    }
    const bool otherTag = reading.uid != m_uid;
    if (cyclicWrite && otherTag && WrittenTagOnReader()) {
        // The written tag was swapped for another between two polls: it counts as
        // taken away. Forgetting its UID makes the next poll write the new tag,
        // after the form has moved on to its next row.
        decision.tagTakenAway = true;
        m_uid = {};
        m_lastWriteOk = -1;
        return decision;
    }
    if (otherTag || m_state != 0 || reading.index != m_index) {
        m_state = reading.state;
        m_index = reading.index;
        m_extraNumber = reading.extraNumber;
        m_uid = reading.uid;
        // Nothing is written on this tag yet: neither its removal nor the job's end
        // moves the list on.
        m_lastWriteOk = -1;
        const auto known = std::find_if(m_written.begin(), m_written.end(),
                                        [this](const WrittenTag& tag) { return tag.uid == m_uid; });
        if (cyclicWrite && known != m_written.end()) {
            decision.writtenBefore = true;
            decision.writtenRow = known->row;
        } else {
            decision.newTag = true;
        }
    }
    return decision;
}
