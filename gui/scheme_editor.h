#pragma once

namespace vela {

class Database;
class MainWindow;
class QueryCursor;
struct ProcessContext;

enum class EditorOpenMode { New = -1, Edit = 0, Copy = 1 };

// The editor page 方案操作. Its controls are the working copy of the scheme; the
// judgement mode is kept here, the radio buttons only show it.
struct EditorContext {
    MainWindow& window;
    Database& database;
    QueryCursor& cursor;
    int EditorJudgeMode = 0;
};

void OpenSchemeEditor(EditorOpenMode mode, EditorContext& editor);
void SetEditorJudgeMode(int mode, EditorContext& editor);
// Saves the form as a new row (项目编号框 "0") or over the row it names, reports
// the statement, and empties the form. A keyword that cannot be used is named in
// a message box instead, and nothing is saved.
void OnSaveScheme(EditorContext& editor);
// The user changed the pattern: saving waits for the next successful rule test.
void OnPatternChanged(EditorContext& editor);

void BindSchemeEditor(EditorContext& editor);

}  // namespace vela
