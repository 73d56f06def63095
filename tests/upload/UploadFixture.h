#pragma once

#include "tests/app/ProgramFixture.h"
#include "tests/upload/UploadTestServer.h"

#include "shop/Pictures.h"
#include "upload/UpLoadProgress.h"
#include "upload/UploadCommand.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>

#include <functional>

namespace tovari::test {

// A whole program whose service is a recording server, with a folder of photos listed.
class UploadTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        current = this;
        previousHandler = qInstallMessageHandler(&UploadTest::Observe);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previousHandler);
        current = nullptr;
        ProgramTest::TearDown();
    }

    // Real JPEGs that the thumbnails decode, and files that are no picture at all.
    void StartWithPhotos(const QStringList& photos, const QStringList& noPictures = {}, const QString& base = {})
    {
        Start(base.isEmpty() ? server.BaseUrl() : base);
        Form().resize(1000, 700);
        Form().show();
        folder = MakePhotoFolder(QStringLiteral("photos"), photos, noPictures);
        SelectPcFolder(folder);
        ASSERT_TRUE(WaitForListing());
        list = Local().PcListView;
        // The files that are no picture have been found out before the test goes on.
        const TPcImageArray& images = Local().Pc().PcImages;
        ASSERT_TRUE(WaitFor([&] {
            return std::all_of(images.begin(), images.end(),
                               [&](const TPcImages& e) { return e.ThumbTried || !noPictures.contains(e.FileName); });
        }));
        QObject::connect(program->Form2.Gauge1, &QProgressBar::valueChanged, program->Form2.Gauge1, [this](int value) {
            events.append(QString::number(value) + ' ' + program->Form2.Label1->text());
        });
        dialogs.messages.clear();
    }

    QString MakePhotoFolder(const QString& name, const QStringList& photos, const QStringList& noPictures = {})
    {
        const QString path = MakeFolder(name);
        for (const QString& photo : photos) {
            QImage image(48, 32, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(int(qHash(photo) % 360), 200, 200));
            const std::string jpeg = shop::EncodeJpeg(image);
            WriteFile(path + '/' + photo, QByteArray(jpeg.data(), qsizetype(jpeg.size())));
        }
        for (const QString& other : noPictures)
            WriteFile(path + '/' + other, "not a picture");
        return path;
    }

    TUploadCommand& Command() { return Upload(); }

    // Selects every photo and runs the batch through the list's pop-up entry (always offered) or the
    // given command; the recording dialogs confirm every question.
    void RunBatch(QAction* command = nullptr)
    {
        list->selectAll();
        (command ? command : Form().Actions().ActFileUpLoad)->trigger();
    }

    // Runs f on the window's thread at its next event pump; callable from the server's thread.
    static void AtNextPump(std::function<void()> f)
    {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(f), Qt::QueuedConnection);
    }

    // What the window showed and did, in order: "<gauge> <label>" at each progress step, and "post"
    // with the state of the commands right before each request went out.
    QStringList events;
    UploadTestServer server;
    QString folder;
    TVirtualListView* list = nullptr;

private:
    static void Observe(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (current && current->program && message == QStringLiteral("HTTP Post Start")) {
            const TForm1& f = current->program->Form1;
            current->events.append(QStringLiteral("post%1%2%3")
                                       .arg(f.Actions().ActFileUp->isEnabled() ? " fileup" : "")
                                       .arg(f.Actions().ActGoAddPrint->isEnabled() ? " addprint" : "")
                                       .arg(current->program->Form2.isVisible() ? " dialog" : ""));
        }
        if (previousHandler)
            previousHandler(type, context, message);
    }
    static inline UploadTest* current = nullptr;
    static inline QtMessageHandler previousHandler = nullptr;
};

}  // namespace tovari::test
