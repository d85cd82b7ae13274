// The window driving the real engine on a fixture game: an install and a removal, what the user
// sees at their end and what is on disk afterwards.
#include "LaunchedWindow.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using morra::test::GameFixture;

class AppDelegateEngineTest : public QObject {
    Q_OBJECT

private slots:
    void installAndRemoveThroughTheWindow() {
        GameFixture game;
        morra::InstallerOperations operations = morra::InstallerOperations::forEngine(morra::InstallerEngine());
        operations.discoverGame = [&game] { return std::optional(game.app); };
        morra::test::LaunchedWindow app(std::move(operations));
        const auto finishesWith = [&app](QPushButton* button, const QString& message) {
            if (button == app.window().removeButton()) app.dialogs->pressButton(QStringLiteral("Удалить"));
            app.dialogs->pressButton(QStringLiteral("OK"));
            QVERIFY(app.runAndWait(button));
            QCOMPARE(app.dialogs->shown().back().icon, QMessageBox::Information);
            QCOMPARE(app.dialogs->shown().back().informativeText, message);
            QCOMPARE(app.status(), message);
        };
        const auto assetsAre = [&game](const std::array<std::string, morra::tools::Fixture::kAssets>& forms) {
            for (std::size_t i = 0; i < forms.size(); ++i)
                if (morra::test::readFile(game.asset(i)) != forms[i]) return false;
            return true;
        };
        finishesWith(app.window().installButton(),
                     QStringLiteral("Готово. Официальный русский не изменён.\n"
                                    "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
                                    "Названия навыков на карточках переведены."));
        QVERIFY(assetsAre(morra::test::demoFixture().translatedCards));
        QCOMPARE(app.delegate->installationState(), std::optional(morra::InstallationState::TranslatedCards));

        finishesWith(app.window().removeButton(), QStringLiteral("Перевод удалён. Файлы игры восстановлены."));
        QVERIFY(assetsAre(morra::test::demoFixture().original));
        for (std::size_t i = 0; i < morra::tools::Fixture::kAdded; ++i) QVERIFY(!fs::exists(game.added(i)));
        QVERIFY(morra::test::temporaries(game.app).empty());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }
};

MORRA_UI_TEST_MAIN(AppDelegateEngineTest)
#include "AppDelegateEngineTest.moc"
