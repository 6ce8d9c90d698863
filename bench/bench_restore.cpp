// quarnel-bench restore: a dump as mariadb-dump writes it, run through "Run
// SQL File" beside the command-line client reading it from its input.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/scriptfile.h"
#include "data/tdmstd.h"
#include "tests/support/headlessviews.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Writes a dump of about `megabytes` MB: the header and footer of
// mariadb-dump, two tables with their CREATE TABLE, LOCK TABLES and
// extended INSERTs of about 1 MB each, and a procedure in a DELIMITER block.
bool writeDump(const QString &path, qint64 megabytes, qint64 *rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 target = megabytes * 1024 * 1024;
    QByteArray out;
    out.reserve(2 << 20);
    auto flush = [&] {
        const bool ok = file.write(out) == out.size();
        out.clear();
        return ok;
    };
    out += "-- MariaDB dump 10.19  Distrib 10.11.6-MariaDB, for debian-linux-gnu (x86_64)\n--\n"
           "-- Host: 127.0.0.1    Database: restore\n"
           "-- ------------------------------------------------------\n"
           "-- Server version\t10.11.6-MariaDB\n\n"
           "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
           "/*!40101 SET NAMES utf8mb4 */;\n"
           "/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;\n"
           "/*!40103 SET TIME_ZONE='+00:00' */;\n"
           "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\n"
           "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;\n"
           "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n"
           "/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;\n\n";
    qint64 id = 0;
    for (const char *table : {"orders", "events"}) {
        const QByteArray name(table);
        out += "--\n-- Table structure for table `" + name + "`\n--\n\n"
               "DROP TABLE IF EXISTS `" + name + "`;\n"
               "/*!40101 SET @saved_cs_client     = @@character_set_client */;\n"
               "/*!40101 SET character_set_client = utf8 */;\n"
               "CREATE TABLE `" + name + "` (\n"
               "  `id` int(11) NOT NULL,\n"
               "  `name` varchar(40) DEFAULT NULL,\n"
               "  `note` varchar(200) DEFAULT NULL,\n"
               "  `amount` decimal(10,2) DEFAULT NULL,\n"
               "  `created` datetime DEFAULT NULL,\n"
               "  PRIMARY KEY (`id`)\n"
               ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;\n"
               "/*!40101 SET character_set_client = @saved_cs_client */;\n\n"
               "--\n-- Dumping data for table `" + name + "`\n--\n\n"
               "LOCK TABLES `" + name + "` WRITE;\n"
               "/*!40000 ALTER TABLE `" + name + "` DISABLE KEYS */;\n";
        // Half of the size in each table.
        const qint64 tableEnd = (name == "orders" ? target / 2 : target) - 4096;
        while (file.size() + out.size() < tableEnd) {
            out += "INSERT INTO `" + name + "` VALUES ";
            const qsizetype statementStart = out.size();
            bool first = true;
            while (out.size() - statementStart < 1000000) {
                ++id;
                if (!first)
                    out += ',';
                first = false;
                out += '(' + QByteArray::number(id) + ",'name " + QByteArray::number(id) + "','"
                    + QByteArray(20 + id % 120, char('a' + id % 26)) + (id % 7 == 0 ? "\\'s; semi" : "") + "',"
                    + QByteArray::number(id % 100000) + '.' + QByteArray::number(10 + id % 90) + ",'2024-0"
                    + QByteArray::number(1 + id % 9) + "-1" + QByteArray::number(id % 10) + " 12:34:56')";
            }
            out += ";\n";
            if (out.size() > (1 << 20) && !flush())
                return false;
        }
        out += "/*!40000 ALTER TABLE `" + name + "` ENABLE KEYS */;\nUNLOCK TABLES;\n";
    }
    out += "\n--\n-- Dumping routines for database 'restore'\n--\n"
           "/*!50003 DROP PROCEDURE IF EXISTS `order_total` */;\n"
           "/*!50003 SET @saved_sql_mode       = @@sql_mode */ ;\n"
           "/*!50003 SET sql_mode              = 'STRICT_TRANS_TABLES' */ ;\n"
           "DELIMITER ;;\n"
           "CREATE DEFINER=`quarnel`@`%` PROCEDURE `order_total`(IN first INT, OUT total DECIMAL(20,2))\n"
           "BEGIN\n"
           "  -- a comment; inside the body\n"
           "  SELECT SUM(amount) INTO total FROM orders WHERE id >= first;\n"
           "END ;;\n"
           "DELIMITER ;\n"
           "/*!50003 SET sql_mode              = @saved_sql_mode */ ;\n"
           "/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n"
           "/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;\n"
           "/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\n"
           "/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;\n"
           "/*!40111 SET SQL_NOTES=@OLD_SQL_NOTES */;\n\n"
           "-- Dump completed on 2026-12-10 12:00:00\n";
    *rows = id;
    return flush();
}

int restoreChild(const QStringList &args)
{
    // host port user password database file
    if (args.size() < 6 || !LoadClientLibrary())
        return 2;
    HeadlessViews views(args.at(0), args.at(1), args.at(2), args.at(3));
    TDMstd module(views.views);
    if (!module.ConnectProfile())
        return 3;
    QTimer wake; // the loop below notices a lost wait
    wake.start(100);
    while (!module.ActiveClient()->Connected() && views.log.lines().isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!module.ActiveClient()->Connected())
        return 3;
    // The tree's first read of the databases, as after a login.
    while (module.statementsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    TScriptFileProgress last;
    QObject::connect(&module, &TDMstd::scriptFileProgress,
                     [&last](const TScriptFileProgress &progress) { last = progress; });
    if (!module.RunScriptFile(args.at(4), args.at(5)))
        return 4;
    while (!last.finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!last.completed) {
        std::fprintf(stderr, "%s\n", qPrintable(views.log.lines().join(QLatin1Char('|'))));
        return 5;
    }
    return 0;
}

int restore(const QStringList &args)
{
    const qint64 megabytes = args.value(0, QStringLiteral("1024")).toLongLong();
    if (megabytes < 1) {
        std::fprintf(stderr, "restore [megabytes, default 1024]\n");
        return 2;
    }
    PrivateServer server;
    if (!startServerWith(server, QStringLiteral("CREATE DATABASE restore;")))
        return 1;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dump.sql"));
    qint64 rows = 0;
    if (!dir.isValid() || !writeDump(path, megabytes, &rows)) {
        std::fprintf(stderr, "the dump could not be written\n");
        return 1;
    }
    printFigure("dump_mb", QFile(path).size() / 1048576.0);
    printFigure("rows", QString::number(rows));
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("restore"));
    const QStringList ours{QStringLiteral("restore-child"), server.host(), QString::number(server.port()),
                           PrivateServer::user(), PrivateServer::password(), QStringLiteral("restore"), path};
    // Big dumps once each: a run takes minutes.
    const int runs = megabytes >= 256 ? 1 : 3;
    Measurement a, b;
    if (!bestOf(runs, [&] { return measureSelf(ours); }, [&] { return measureProgram(mariadb, cli, path); }, &a, &b))
        return 1;
    QString count;
    server.sql(QStringLiteral("SELECT (SELECT COUNT(*) FROM restore.orders) + (SELECT COUNT(*) FROM restore.events);"),
               &count);
    printFigure("rows_restored", count.trimmed().split(QLatin1Char('\n')).value(1));
    printComparison("quarnel", a, "mariadb", b);
    return 0;
}

} // namespace

QUARNEL_BENCH(restore, "restore",
              "a generated dump (mariadb-dump's form) through Run SQL File beside mariadb < dump.sql "
              "[megabytes, default 1024]",
              restore);
QUARNEL_BENCH(restoreChild, "restore-child", "", restoreChild);
