#include "upload/UploadCommand.h"

#include "platform/Commands.h"
#include "platform/Dialogs.h"
#include "platform/ScopeExit.h"
#include "platform/Trace.h"
#include "platform/Views.h"
#include "service/HttpClient.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"
#include "upload/UpLoadProgress.h"

#include <QAction>
#include <QCoreApplication>

namespace tovari {

namespace {

constexpr int kMaxNamesInReport = 10;

// Photo i of n: 0 for the first, 100 for the last; a single photo shows a full gauge, as the
// last photo of a batch does.
int ProgressPercent(int i, int n)
{
    return n >= 2 ? int(qint64(i) * 100 / (n - 1)) : 100;
}

}  // namespace

namespace {

// "<heading>" and up to ten names, then "ほか N枚".
QString NameList(const QString& heading, const QStringList& names)
{
    if (names.isEmpty())
        return {};
    QString text = QStringLiteral("\n\n") + heading;
    for (qsizetype k = 0; k < names.size() && k < kMaxNamesInReport; ++k)
        text += '\n' + names[k];
    if (names.size() > kMaxNamesInReport)
        text += QStringLiteral("\nほか %1枚").arg(names.size() - kMaxNamesInReport);
    return text;
}

}  // namespace

TUploadReport MakeUploadReport(const TUploadTally& tally)
{
    if (tally.Total > 0 && tally.Sent == tally.Total)
        return {kUploadCompleteMessage, QStringLiteral("送信完了"), false};

    const QString caption = QStringLiteral("送信結果");
    if (tally.Total == 0)
        return {QStringLiteral("送信できる画像がありませんでした。\n読み込めない画像は送信できません。"), caption, true};

    QString text = QStringLiteral("%1枚中 %2枚を送信しました。").arg(tally.Total).arg(tally.Sent);
    if (tally.Cancelled > 0)
        text += QStringLiteral("\n転送を中断したため、%1枚は送信していません。").arg(tally.Cancelled);
    if (tally.AfterOver > 0)
        text += QStringLiteral("\nご注文が上限の3,000枚に達したため、%1枚は送信していません。").arg(tally.AfterOver);
    if (tally.Failed > 0)
        text += QStringLiteral("\n%1枚は通信エラー、サービスのエラー、またはファイルが読めないため送信できませんでした。")
                    .arg(tally.Failed);
    if (tally.Unsure > 0)
        text += QStringLiteral("\n%1枚は送信の直後に接続が切れたため、届いたかどうか分かりません。注文ページでご確認ください。")
                    .arg(tally.Unsure);
    text += NameList(QStringLiteral("送信されなかった画像:"), tally.NotSent);
    text += NameList(QStringLiteral("届いたかどうか分からない画像:"), tally.UnsureNames);
    const bool question = !tally.Resendable.empty();
    if (question)
        text += QStringLiteral("\n\n中断またはエラーで送信されなかった%1枚を、もう一度送信しますか？").arg(tally.Resendable.size());
    return {text, caption, true, question};
}

TUploadCommand::TUploadCommand(Context context, QObject* parent) : QObject(parent), c_(std::move(context))
{
    connect(&c_.session, &TSession::Changed, this, &TUploadCommand::UpdateActions);
}

void TUploadCommand::BindActions(const TActionManager1& actions)
{
    actFileUpLoad_ = actions.ActFileUpLoad;
    actFileUp_ = actions.ActFileUp;
    actGoAddPrint_ = actions.ActGoAddPrint;
    connect(actFileUpLoad_, &QAction::triggered, this, &TUploadCommand::ActFileUpLoadExecute);
    connect(actFileUp_, &QAction::triggered, this, &TUploadCommand::ActFileUpExecute);
    UpdateActions();
}

void TUploadCommand::SetProgressDialog(TForm2& dialog)
{
    if (form2_)
        disconnect(form2_, nullptr, this, nullptr);
    form2_ = &dialog;
    connect(form2_, &TForm2::UploadCancelRequested, this, &TUploadCommand::SetUploadCancel);
}

void TUploadCommand::SetUploadableCount(int count)
{
    uploadableCount_ = count;
    UpdateActions();
}

void TUploadCommand::SetUploadCancel(bool cancel)
{
    uploadCancel_ = cancel;
}

void TUploadCommand::UpdateActions()
{
    if (!actFileUp_)
        return;
    const bool loggedIn = c_.session.LoggedIn();
    actFileUpLoad_->setText(loggedIn ? QStringLiteral("画像をアルバムに登録") : QStringLiteral("画像をプリントに追加"));
    actFileUp_->setText(loggedIn ? QStringLiteral("アルバムに登録") : QStringLiteral("プリントに追加"));
    actFileUp_->setEnabled(!uploading_ && uploadableCount_ > 0);
}

void TUploadCommand::ActFileUpExecute()
{
    ActFileUpLoadExecute();
}

bool TUploadCommand::StopForClose()
{
    if (!uploading_)
        return true;
    if (!AskToStopTransfer(c_.dialogs, c_.owner))
        return false;
    uploadCancel_ = true;
    closing_ = true;
    if (form2_)
        form2_->hide();
    return true;
}

void TUploadCommand::ActFileUpLoadExecute()
{
    // However the command ends, the guide moves on to its last step.
    const ScopeExit guide([this] { emit NavigatePage(kGuidePhotosSent); });

    if (!c_.session.TransferReady()) {
        c_.dialogs.ShowMessage(QStringLiteral("お使いのパソコンでは画像の転送が行えません。"));
        return;
    }
    // A second start during a batch is refused below; it must not take back the user's cancel.
    if (!uploading_)
        uploadCancel_ = false;
    if (!c_.anySelected()) {
        c_.dialogs.MessageBox(c_.owner, QStringLiteral("画像を選択してください。"), QStringLiteral("エラー"),
                              Dialogs::Buttons::Ok, Dialogs::Icon::Error);
        return;
    }
    const std::size_t n = c_.uploadableEntries().size();
    if (uploading_) {
        c_.dialogs.ShowMessage(QStringLiteral("現在画像転送中です"));
        return;
    }
    // The selection as it is after the question, but never more photos than were counted before it.
    SendBatches([this, n] {
        TPcImageArray entries = c_.uploadableEntries();
        if (entries.size() > n)
            entries.resize(n);
        return entries;
    });
}

void TUploadCommand::SendBatches(std::function<TPcImageArray()> take)
{
    for (;;) {
        if (c_.dialogs.MessageBox(c_.owner, QStringLiteral("画像を送信します。宜しいですか？"), QStringLiteral("確認"),
                                  Dialogs::Buttons::OkCancel, Dialogs::Icon::None) != Dialogs::Result::Ok)
            return;

        uploading_ = true;
        uploadCancel_ = false;
        bool stopPosting = false;
        if (actGoAddPrint_)
            actGoAddPrint_->setEnabled(false);
        UpdateActions();
        {
            const ScopeExit end([this] {
                if (form2_)
                    form2_->hide();
                uploadList_.clear();
                uploading_ = false;
                // Enabled whatever is selected now; the next count of the selection brings it in line.
                if (actGoAddPrint_)
                    actGoAddPrint_->setEnabled(true);
                if (actFileUp_)
                    actFileUp_->setEnabled(true);
            });
            uploadList_ = take();
            tally_ = TUploadTally{};
            tally_.Total = int(uploadList_.size());
            RunBatch(stopPosting);
        }
        // The window is closing: the user has been asked already, and no box may follow.
        if (closing_)
            return;
        const TUploadReport report = MakeUploadReport(tally_);
        const Dialogs::Result answer =
            c_.dialogs.MessageBox(c_.owner, report.Text, report.Caption,
                                  report.Question ? Dialogs::Buttons::OkCancel : Dialogs::Buttons::Ok,
                                  report.Warning ? Dialogs::Icon::Warning : Dialogs::Icon::Information);
        if (!report.Question || answer != Dialogs::Result::Ok)
            return;
        take = [again = tally_.Resendable] { return again; };
    }
}

void TUploadCommand::RunBatch(bool& stopPosting)
{
    if (form2_)
        form2_->show();
    QCoreApplication::processEvents();

    const int n = int(uploadList_.size());
    for (int i = 0; i < n; ++i) {
        const TPcImages entry = uploadList_[std::size_t(i)];
        if (uploadCancel_) {
            ++tally_.Cancelled;
            tally_.NotSent.append(entry.FileName);
            tally_.Resendable.push_back(entry);
            continue;
        }
        {
            TMultipartFormData body;
            try {
                if (form2_)
                    form2_->SetProgress(ProgressPercent(i, n), n, i + 1);
                QCoreApplication::processEvents();
            } catch (const std::exception&) {
                // The gauge is only a view of the batch; the photo is sent all the same.
            }
            if (stopPosting) {
                ++tally_.AfterOver;
                tally_.NotSent.append(entry.FileName);
            } else {
                try {
                    // "OVER" answers a photo that was kept and filled the order: it counts as sent.
                    stopPosting = PostPhoto(body, entry);
                    ++tally_.Sent;
                } catch (const EIdReplyLost&) {
                    // The photo went out whole and may have been kept: sending it again could
                    // order it twice, so it is named apart and not offered again.
                    ++tally_.Unsure;
                    tally_.UnsureNames.append(entry.FileName);
                } catch (const std::exception&) {
                    // One photo that could not be read or sent does not stop the others; the end
                    // report names it.
                    ++tally_.Failed;
                    tally_.NotSent.append(entry.FileName);
                    tally_.Resendable.push_back(entry);
                }
            }
        }
        QCoreApplication::processEvents();
    }
}

bool TUploadCommand::PostPhoto(TMultipartFormData& body, const TPcImages& entry)
{
    Trace("Start");
    body.AddFormField(QStringLiteral("mode"), QStringLiteral("upload"));
    Trace("Form Data Create");
    body.AddFile(QStringLiteral("file1"), entry.FolderPath + '/' + entry.FileName);
    body.Seek(0);
    Trace("HTTP Post Start");
    // Straight to the client: the request carries the cookie line the last request left, and the
    // cookie is not read back.
    const QByteArray reply = c_.service.IdHTTP1().Post(c_.urls.Upload(c_.session.SessionId()), body);
    const bool over = reply == kReplyOVER.toLatin1();
    Trace("HTTP Post End");
    return over;
}

}  // namespace tovari
