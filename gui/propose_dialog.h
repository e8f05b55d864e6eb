#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

#include "propose/page_proposal.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vela {

struct EditorContext;

// 自动识别: fetches the page of `input.url` (UTF-8) off the GUI thread (its cookie and
// identification, its address's characters beyond ASCII in GBK when `gbkAddress`,
// the limits of a check; 取消 stops it), then lists the candidate lists the
// proposer found, each with its count and first titles. 填入 (or a double click)
// accepts the dialog with the chosen candidate.
class ProposeDialog : public QDialog {
    Q_OBJECT
public:
    ProposeDialog(ProposeInput input, bool gbkAddress, ProposeFunction propose,
                  QWidget* parent = nullptr);
    // Stops a fetch still running and joins its thread.
    ~ProposeDialog() override;

    // The candidate chosen, once the dialog was accepted.
    const Candidate* Chosen() const;

    QLabel* message = nullptr;
    QListWidget* list = nullptr;
    QPushButton* fillButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    void OnProposed(std::shared_ptr<AddressProposal> result);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::shared_ptr<AddressProposal> result_;
};

// Binds 按钮_自动识别: the dialog on the form's address, cookie, identification and
// encoding (for the address; the page is read in the encoding it names for itself);
// the chosen candidate fills the form, whose rule test then shows its matches.
// `propose` is the finder (a test's stand-in).
void BindProposeButton(EditorContext& editor, ProposeFunction propose = ProposeSchemes);

}  // namespace vela
