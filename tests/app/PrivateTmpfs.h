#pragma once

#include <QString>

// Full-disk tests: a test function runs again as a child of this test program in a
// private mount namespace (unshare -m) where a small tmpfs is mounted on a folder,
// so that it can fill that folder up without touching the machine's disks.
//
//   void fullDiskCase() {
//       if (!InPrivateTmpfs()) return RunInPrivateTmpfs("fullDiskCase", folder, 64);
//       ... the case itself, on the tmpfs at PrivateTmpfsFolder() ...
//   }
//
// RunInPrivateTmpfs skips the test (QSKIP) where namespaces or mounts are not
// permitted, and fails it with the child's output when the child's case failed.

bool InPrivateTmpfs();
QString PrivateTmpfsFolder();
// Never returns normally when skipping; a QtTest check fails when the child failed.
void RunInPrivateTmpfs(const char* testFunction, const QString& folder, int sizeKiB);

// Fills the folder's file system up with one file until `leaveBytes` (rounded to
// pages) stay free; false when it could not.
bool FillUp(const QString& folder, qint64 leaveBytes);
