#pragma once
// What the record codec needs from the tag logic that runs it: the "more" flag
// (the parse needs bytes beyond those read so far, so the tag reader reads on)
// and a place for the last error (the port's last-error code).

class INdefContext {
public:
    virtual ~INdefContext() = default;
    virtual bool GetMore() const = 0;
    virtual void SetMore(bool more) = 0;
    // Stores a TagErrorCode as the port's last error.
    virtual void SetError(int code) = 0;
};
