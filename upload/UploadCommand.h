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
    int Sent = 0;       // any reply but "OVER"
    int Over = 0;       // answered "OVER": the service may or may not have kept it
    int Failed = 0;     // unreadable file, connection failure or HTTP error status
    int Cancelled = 0;  // not tried because the user stopped the batch
    int AfterOver = 0;  // not tried because the order was full
    QStringList NotSent;  // file names of every photo not counted as sent, in list order
};

// The box that ends a batch.
struct TUploadReport {
    QString Text;
    QString Caption;
    bool Warning = false;
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

    bool Uploading = false;
    bool UploadCancel = false;
    TPcImageArray UploadList;

    // What the last batch did; empty before the first.
    const TUploadTally& LastTally() const { return tally_; }

signals:
    // Moves the navigation guide forward to a page (never back).
    void NavigatePage(int page);

private:
    // Posts one photo; true when the service answered "OVER".
    bool PostPhoto(TMultipartFormData& body, const TPcImages& entry);
    void RunBatch(bool& stopPosting);

    Context c_;
    QPointer<TForm2> form2_;
    int uploadableCount_ = 0;
    TUploadTally tally_;
    QAction* actFileUpLoad_ = nullptr;
    QAction* actFileUp_ = nullptr;
    QAction* actGoAddPrint_ = nullptr;
};

// The completion box's text after a batch where every photo was sent.
inline const QString kUploadCompleteMessage =
    QStringLiteral("送信完了しました。\n\r続けて送信して頂ければ最高3,000枚まで一度にご注文頂けます。");

}  // namespace tovari
