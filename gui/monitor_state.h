#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/new_articles.h"

namespace vela {

// The process-wide monitoring state. The rows and the task position are written
// by the GUI thread only while no worker runs; the flags cross threads.
struct MonitorState {
    std::vector<int> CheckedSchemeRows;  // 0-based rows of 项目列表框, in list order
    std::atomic<int> CheckedSchemeCount{0};
    std::atomic<int> CurrentTask{0};  // 1-based position in CheckedSchemeRows
    std::atomic<int> WorkerBusy{0};
    std::atomic<int> NewArticlesFound{0};
    std::atomic<int> StopRequested{0};
    NewArticleDigest NewArticles;  // recorded since the last alert, for the notification
    // The worker's scheme did not run because the database's run lock could not be
    // taken: the line naming the lock file. Written by the worker before it clears
    // WorkerBusy, read and cleared by the GUI thread once it has.
    std::string RunLockProblem;
};

}  // namespace vela
