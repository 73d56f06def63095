#pragma once

#include "local/PcImages.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QWidget;

namespace tovari {

class Dialogs;
class TForm2;
class TMultipartFormData;
class TServiceClient;
class TServiceUrls;
class TSession;
struct TActionManager1;

// What became of the photos of one batch.
struct TUploadTally {
    int Total = 0;
    int Sent = 0;       // any reply but an error; "OVER" too, which kept the photo and filled the order
    int Unsure = 0;     // the connection broke after the whole photo went out, before any reply
    int Failed = 0;     // unreadable file, connection failure before the photo was out, or HTTP error
    int Cancelled = 0;  // not tried because the user stopped the batch
    int AfterOver = 0;  // not tried because the order was full
    QStringList NotSent;     // file names of the photos that did not reach the order, in list order
    QStringList UnsureNames; // file names of the photos that may or may not have arrived
    // The photos that surely did not reach the shop and may be sent again: cancelled or failed.
    TPcImageArray Resendable;
};

// The box that ends a batch; Question when it offers to send the resendable photos again.
struct TUploadReport {
    QString Text;
    QString Caption;
    bool Warning = false;
    bool Question = false;
};

TUploadReport MakeUploadReport(const TUploadTally& tally);

// The command that sends the selected local photos, one POST each, behind the progress dialog.
// It owns the batch's state and the two actions that start it.
class TUploadCommand : public QObject {
    Q_OBJECT
public:
    struct Context {
        TSession& session;
        TServiceClient& service;  // its HTTP client, used directly: the upload does not touch the cookie
        const TServiceUrls& urls;
        Dialogs& dialogs;
        QWidget* owner;  // the main window, owner of the boxes
        // Whether any item of the local list is selected, uploadable or not.
        std::function<bool()> anySelected;
        // Copies of the uploadable selection, in list order.
        std::function<TPcImageArray()> uploadableEntries;
    };

    explicit TUploadCommand(Context context, QObject* parent = nullptr);

    void BindActions(const TActionManager1& actions);
    // Captions follow the login state (print order or album); ActFileUp needs something to send and
    // no batch running.
    void UpdateActions();
    void SetProgressDialog(TForm2& dialog);

    // The count of selected photos that can be sent, as the local list last reported it.
    void SetUploadableCount(int count);

    void ActFileUpLoadExecute();
    void ActFileUpExecute();
    void SetUploadCancel(bool cancel);
    // The main window is closing. With a batch running the user is asked whether to stop it; on OK no
    // further photo is posted and the batch ends without its report. False when the user keeps it.
    bool StopForClose();

    bool Uploading() const { return uploading_; }
    bool UploadCancel() const { return uploadCancel_; }
    // The photos of the running batch, or of the last one until the next starts.
    const TPcImageArray& UploadList() const { return uploadList_; }

    // What the last batch did; empty before the first.
    const TUploadTally& LastTally() const { return tally_; }

signals:
    // Moves the navigation guide forward to a page (never back).
    void NavigatePage(int page);

private:
    // Posts one photo; true when the service answered "OVER".
    bool PostPhoto(TMultipartFormData& body, const TPcImages& entry);
    // Asks the usual question, sends what take() gives then, reports, and offers to send again what did
    // not reach the shop, as a new batch behind the same question.
    void SendBatches(std::function<TPcImageArray()> take);
    void RunBatch(bool& stopPosting);

    Context c_;
    bool uploading_ = false;
    bool uploadCancel_ = false;
    TPcImageArray uploadList_;
    QPointer<TForm2> form2_;
    int uploadableCount_ = 0;
    TUploadTally tally_;
    bool closing_ = false;
    QAction* actFileUpLoad_ = nullptr;
    QAction* actFileUp_ = nullptr;
    QAction* actGoAddPrint_ = nullptr;
};

// The completion box's text after a batch where every photo was sent.
inline const QString kUploadCompleteMessage =
    QStringLiteral("送信完了しました。\n\r続けて送信して頂ければ最高3,000枚まで一度にご注文頂けます。");

}  // namespace tovari
