#include "app/settings/TranslationTable.h"
#include "app/settings/UISettings.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace tarvik {
namespace {

QString fileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

std::string text(const QString& s) {
    return s.toStdString();
}

// The keys the interface looks texts up by, in the table's order. Rows that
// would name another desktop platform carry their Linux wording.
const QStringList requiredKeys{
    "SSH username required",
    "Enter the account name on the server. Your computer login may be different.",
    "Configuration", "Language", "Theme", "System", "Light", "Dark", "Category", "Session", "Logging",
    "Terminal", "Keyboard", "Window", "Appearance", "Colours", "Connection", "Data", "Authentication",
    "Tunnels", "Serial", "Basic options for your session", "Specify the destination you want to connect to",
    "Host Name (or IP address)", "Port", "Connection type", "Load, save or delete a stored session",
    "Saved Sessions", "Default Settings", "Load", "Save", "Delete", "Close window on exit", "Always", "Never",
    "Only on clean exit", "About", "Help", "Open", "Cancel", "Browse…", "Private key file for authentication",
    "OPK v2/v3 and OpenSSH keys are supported.", "Passphrases are requested in the terminal.",
    "Auto-login username", "Leave blank to use SSH config / current user.", "Enable agent forwarding",
    "Enable compression", "Password authentication only", "Use Orvel engine for SSH",
    "OPK keys automatically use the bundled Orvel engine.", "Keep connection alive",
    "OpenSSH keepalive: 30 seconds.", "Terminal-type string", "Terminal background", "Terminal text",
    "Reset terminal colours", "Colours apply to all open terminals.", "Choose your SSH folder",
    "Privacy Policy", "Support", "Font", "Lucida Console is available when installed on this system.",
    "Font size", "Alt key acts as Meta", "Backspace sends DEL (127)",
    "Unicode (UTF-8), xterm emulation, 10000 lines of scrollback.", "Session output log (optional)",
    "Logs may contain sensitive terminal output. Existing files are appended.", "No logging", "Local",
    "Remote", "Source port", "Destination", "Add", "Remove", "Forwarded ports", "Address",
    "Example: 127.0.0.1:8080:localhost:80; SOCKS: 127.0.0.1:1080", "Serial line", "Speed (baud)",
    "Serial format: 8 data bits, no parity, 1 stop bit, no flow control.", "Import SSH config…",
    "Import profiles…", "Export profiles…", "New Session…", "Local Terminal", "Reconnect", "Disconnect",
    "Close Tab", "Copy", "Paste", "Select All", "Quit", "File", "Edit", "Running", "Exited", "Error",
    "Session name is required.", "Session saved.", "Default settings saved.", "File not found:",
    "Close active sessions?", "Quit will close all connections.", "Saved sessions", "Linux · x86-64 and ARM64",
    "Enter a host name, SSH alias or IP address without spaces or user@.",
    "Invalid username: spaces and control characters are not allowed.",
    "Port must be a number from 1 to 65535.", "Invalid key file path.", "Enter a tunnel address without spaces.",
    "Tunnel format: [bind_address:]port:host:hostport; SOCKS: [bind_address:]port.",
    "Invalid serial speed (50–4000000 baud).", "Invalid terminal type.",
    "Set the host, port and connection type in Session, then click Open. Enter a session name and click Save "
    "to keep the connection.",
    "Choose a private key under Connection > SSH > Authentication. OPK keys use Orvel automatically; "
    "passphrases are requested in the terminal.",
    "Change the interface using Language and Theme. Use Ctrl+Shift+N for configuration, Ctrl+Shift+T for a "
    "local terminal and Ctrl+Shift+R to reconnect.",
};

TEST(TranslationTable, ParsingKeepsSevenFieldLinesAndLetsLaterDuplicatesWin) {
    const auto table = TranslationTable::parse("a|1|2|3|4|5|6\n"
                                               "\n"
                                               "too|few|fields\n"
                                               "too|many|1|2|3|4|5|6\n"
                                               "b|1|2|3|4|5|6\n"
                                               "a|x|y|z|u|v|w\n");
    EXPECT_EQ(table.keys(), QStringList({"a", "b"}));
    ASSERT_NE(table.find("a"), nullptr);
    EXPECT_EQ(table.find("a")->at(1), "x");
    EXPECT_EQ(table.find("too"), nullptr);
    EXPECT_TRUE(TranslationTable::parse("").empty());
}

TEST(TranslationTable, CompiledTableIsTheResourceFileWithEveryRowComplete) {
    const QString resource = fileText(TARVIK_TRANSLATIONS_FILE);
    EXPECT_EQ(QString::fromUtf8(translationText().data(), qsizetype(translationText().size())), resource)
        << "the program carries the current resources/translations.txt";
    const QStringList lines = resource.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 121);
    for (const QString& line : lines) {
        const QStringList fields = line.split('|');
        ASSERT_EQ(fields.size(), TranslationTable::columns) << text(line);
        for (const QString& field : fields) {
            EXPECT_FALSE(field.trimmed().isEmpty()) << text(line);
            EXPECT_EQ(field, field.trimmed()) << "stray white space in " << text(line);
        }
    }
}

TEST(TranslationTable, KeysAreTheInterfaceTextsInOrderFollowedByTheAboutRows) {
    const QStringList& keys = TranslationTable::shared().keys();
    ASSERT_EQ(keys.size(), requiredKeys.size() + 3);
    for (qsizetype i = 0; i < requiredKeys.size(); ++i)
        EXPECT_EQ(text(keys[i]), text(requiredKeys[i])) << "row " << i + 1;
}

TEST(TranslationTable, RowsNamingAnotherPlatformAreWordedForLinux) {
    const QStringList otherPlatform{"Mac", "Monterey", "Apple", "Intel", "Command-", "Option key", "Cmd"};
    for (const QString& key : TranslationTable::shared().keys())
        for (const QString& word : otherPlatform)
            EXPECT_FALSE(key.contains(word)) << text(key);
}

// The texts of the L("…") literals in a source text, with C escapes undone.
QStringList literalsPassedToL(const QString& source) {
    static const QRegularExpression literal(R"re(\bL\(\s*"((?:[^"\\]|\\.)*)"\s*\))re");
    QStringList texts;
    auto matches = literal.globalMatch(source);
    while (matches.hasNext()) {
        QString key = matches.next().captured(1);
        texts << key.replace("\\\"", "\"").replace("\\\\", "\\");
    }
    return texts;
}

TEST(TranslationTable, LiteralScannerFindsEveryCall) {
    const QString source = R"src(label->setText(L("Font size") + ":");
        showError(L( "File not found:" ) + " " + path); URL(u"x"); call(L(name)); HTML("no");
        auto s = L("Say \"hi\"");)src";
    EXPECT_EQ(literalsPassedToL(source), QStringList({"Font size", "File not found:", "Say \"hi\""}));
}

// Every L("…") literal in the shell's and the view's sources must be a key,
// or its text would silently stay English.
TEST(TranslationTable, EveryLiteralPassedToLIsAKey) {
    for (const char* folder : {"app", "view"}) {
        QDirIterator it(QString(TARVIK_SOURCE_DIR) + "/" + folder, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            for (const QString& key : literalsPassedToL(fileText(path)))
                EXPECT_NE(TranslationTable::shared().find(key), nullptr)
                    << "L(\"" << text(key) << "\") in " << text(path) << " is not in the table";
        }
    }
}

// A translated field equal to its English text is usually a row someone
// forgot to translate. These are the words each language really writes the
// same way; anything else identical fails.
TEST(TranslationTable, TranslationsDifferFromEnglishExceptSharedWords) {
    const std::set<std::pair<std::string, std::string>> sameWord{
        {"Terminal", "de"},  {"Terminal", "fr"}, {"Terminal", "es"}, {"Terminal", "pt"},
        {"Port", "de"},      {"Port", "fr"},     {"Support", "de"},  {"Session", "fr"},
        {"Tunnels", "fr"},   {"Local", "es"},    {"Local", "pt"},    {"Destination", "fr"},
        {"Error", "es"},     {"Configuration", "fr"},
    };
    std::set<std::pair<std::string, std::string>> found;
    const auto& table = TranslationTable::shared();
    for (const QString& key : table.keys()) {
        const QStringList& fields = *table.find(key);
        EXPECT_EQ(fields[0], key);
        for (int column = 1; column < TranslationTable::columns; ++column)
            if (fields[column] == key)
                found.insert({text(key), text(UISettings::languages()[std::size_t(column)].code)});
    }
    EXPECT_EQ(found, sameWord);
}

// One word for each recurring notion in every language: a row whose English
// names it must use that language's word for it.
TEST(TranslationTable, RecurringTermsAreTranslatedTheSameWayEverywhere) {
    struct Term {
        const char* englishPattern;
        std::map<std::string, QString> stem;
    };
    const Term terms[] = {
        {R"(\bsessions?\b)",
         {{"ru", "сеанс"}, {"de", "sitzung"}, {"fr", "session"}, {"es", "sesi"}, {"pt", "sess"}, {"zh", "会话"}}},
        {R"(\btunnels?\b)",
         {{"ru", "туннел"}, {"de", "tunnel"}, {"fr", "tunnel"}, {"es", "túnel"}, {"pt", "túne"}, {"zh", "隧道"}}},
        {R"(\bconnections?\b)",
         {{"ru", "подключени"}, {"de", "verbindung"}, {"fr", "connexion"}, {"es", "conexi"}, {"pt", "conex"},
          {"zh", "连接"}}},
        {R"(\bterminals?\b)",
         {{"ru", "терминал"}, {"de", "terminal"}, {"fr", "termina"}, {"es", "terminal"}, {"pt", "termina"},
          {"zh", "终端"}}},
        {R"(\b(log|logs|logging)\b)",
         {{"ru", "журнал"}, {"de", "protokoll"}, {"fr", "journa"}, {"es", "registro"}, {"pt", "registro"},
          {"zh", "日志"}}},
        {R"(\bpassphrases?\b)",
         {{"ru", "парольн"}, {"de", "passphrase"}, {"fr", "phrase"}, {"es", "frase"}, {"pt", "frase"},
          {"zh", "密码短语"}}},
        {R"(\bengine\b)",
         {{"ru", "движ"}, {"de", "engine"}, {"fr", "moteur"}, {"es", "motor"}, {"pt", "motor"}, {"zh", "引擎"}}},
        {R"(\b(private key|key file|OPK keys|OpenSSH keys)\b)",
         {{"ru", "ключ"}, {"de", "schlüssel"}, {"fr", "clé"}, {"es", "clave"}, {"pt", "chave"}, {"zh", "钥"}}},
        {R"(\bfolder\b)",
         {{"ru", "папк"}, {"de", "ordner"}, {"fr", "dossier"}, {"es", "carpeta"}, {"pt", "pasta"}, {"zh", "文件夹"}}},
        {R"(\busername\b)",
         {{"ru", "имя пользователя"}, {"de", "benutzername"}, {"fr", "nom d'utilisateur"},
          {"es", "nombre de usuario"}, {"pt", "nome de usuário"}, {"zh", "用户名"}}},
    };
    const auto& table = TranslationTable::shared();
    for (const Term& term : terms) {
        const QRegularExpression english(term.englishPattern, QRegularExpression::CaseInsensitiveOption);
        int rows = 0;
        for (const QString& key : table.keys()) {
            if (!english.match(key).hasMatch()) continue;
            ++rows;
            const QStringList& fields = *table.find(key);
            for (const auto& [code, stem] : term.stem) {
                const QString field = fields[UISettings::languageIndex(QString::fromStdString(code))];
                EXPECT_TRUE(field.contains(stem, Qt::CaseInsensitive))
                    << code << " row \"" << text(key) << "\" lacks \"" << text(stem) << "\": " << text(field);
            }
        }
        EXPECT_GT(rows, 0) << term.englishPattern;
    }
}

TEST(TranslationTable, PlaceholdersAndSymbolsSurviveTranslation) {
    // Texts the code composes or the user types keep their symbols.
    const QStringList kept{"…", "·", "127.0.0.1:8080:localhost:80", "[bind_address:]port:host:hostport",
                           "50–4000000", "UTF-8", "user@", "+N", "65535", "OPK", "Orvel", "OpenSSH"};
    const auto& table = TranslationTable::shared();
    for (const QString& key : table.keys()) {
        for (const QString& symbol : kept) {
            if (!key.contains(symbol)) continue;
            for (const QString& field : *table.find(key))
                EXPECT_TRUE(field.contains(symbol)) << text(symbol) << " lost in " << text(field);
        }
    }
}

} // namespace
} // namespace tarvik
