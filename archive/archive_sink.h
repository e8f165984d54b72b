#pragma once

#include "archive/archive_record.h"

namespace nxkit {

// Where the journal and the recorder put their rows: the archive's writer, or a test's list.
// Called on the interface thread; never waits.
class i_archive_sink {
public:
    virtual ~i_archive_sink() = default;
    virtual void add(archive_row row) = 0;
    // The rows added since the last call go to the archive together (one update pass).
    virtual void end_pass() = 0;
};

} // namespace nxkit
