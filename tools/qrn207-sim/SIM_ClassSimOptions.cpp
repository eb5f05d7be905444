#include "SIM_ClassSimOptions.h"

#include <QCommandLineParser>

namespace
{
// Bounds that keep one check answer or one node address sane.
const DWord MIN_SHA_BLOCK_SIZE = 16;
const DWord MAX_SHA_BLOCK_SIZE = 16 * 1024 * 1024;

Bool ParseUnsigned(const QString& text, QWord maximum, QWord& value)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = trimmed.mid(2).toULongLong(&ok, 16);
    else
        value = trimmed.toULongLong(&ok, 10);
    return ok && value <= maximum;
}
} // namespace

Bool CLASS_SIM_OPTIONS::ParseFaultTarget(const QString& text, T_SIM_FAULT_TARGET& target, QString& error)
{
    target = T_SIM_FAULT_TARGET();
    QString command = text.trimmed();
    QWord occurrence = 1;
    const int colon = command.indexOf(QLatin1Char(':'));
    if (colon >= 0)
    {
        if (!ParseUnsigned(command.mid(colon + 1), 0xFFFFFFFFu, occurrence) || occurrence == 0)
        {
            error = QStringLiteral("bad occurrence in \"%1\" (a number from 1 on)").arg(text);
            return false;
        }
        command = command.left(colon);
    }
    else if (!command.isEmpty() && command.at(0).isDigit())
    {
        if (!ParseUnsigned(command, 0xFFFFFFFFu, occurrence) || occurrence == 0)
        {
            error = QStringLiteral("bad occurrence \"%1\" (a number from 1 on)").arg(text);
            return false;
        }
        command.clear();
    }
    for (const QChar c : command)
    {
        if (!(c.isUpper() || c.isDigit() || c == QLatin1Char('_')))
        {
            error = QStringLiteral("bad command name in \"%1\" (e.g. DATA_FILE or DATA_FILE:3)").arg(text);
            return false;
        }
    }
    target.Enabled = true;
    target.Command = command;
    target.Occurrence = DWord(occurrence);
    return true;
}

Bool CLASS_SIM_OPTIONS::ParseDeviceVersion(const QString& text, DWord& version)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() == 3)
    {
        DWord result = 0;
        for (const QString& part : parts)
        {
            QWord value = 0;
            if (part.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) || !ParseUnsigned(part, 255, value))
                return false;
            result = (result << 8) | DWord(value);
        }
        version = result;
        return true;
    }
    QWord value = 0;
    // The host reads the answer as a signed 32-bit decimal.
    if (parts.size() != 1 || !ParseUnsigned(text, 0x7FFFFFFF, value))
        return false;
    version = DWord(value);
    return true;
}

Bool CLASS_SIM_OPTIONS::Parse(const QStringList& arguments, T_SIM_OPTIONS& options, QString& error,
                              QString& helpText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated QRN207 device: TBP boot loader over node messages, SAM-BA monitor, micro reset "
        "and version query, over UDP and pseudo-terminal links."));
    const QCommandLineOption help(QStringList{"h", "help"}, QStringLiteral("Show this help."));
    const QCommandLineOption udp(
        "udp-port",
        QStringLiteral("Add a UDP link bound to <port> (0: a free port); replies go to "
                       "the sender of the last datagram. Repeatable."),
        "port");
    const QCommandLineOption sambaUdp(
        "samba-udp-port",
        QStringLiteral("As --udp-port, and the link also answers SAM-BA monitor "
                       "commands."),
        "port");
    const QCommandLineOption pty(
        "pty-link",
        QStringLiteral("Add a pseudo-terminal link and keep a symbolic link to its slave "
                       "at <path> (\"-\": no symbolic link). Repeatable."),
        "path");
    const QCommandLineOption sambaPty(
        "samba-pty-link",
        QStringLiteral("As --pty-link, and the link also answers SAM-BA monitor "
                       "commands."),
        "path");
    const QCommandLineOption bind("udp-bind",
                                  QStringLiteral("Address the UDP links bind (default 127.0.0.1)."),
                                  "address", "127.0.0.1");
    const QCommandLineOption state(
        "state",
        QStringLiteral("Memory state file (JSON), read at start and rewritten after "
                       "every programming."),
        "file");
    const QCommandLineOption log(
        "log",
        QStringLiteral("Event log: one JSON line per frame or command received and sent "
                       "(\"-\": standard error)."),
        "file");
    const QCommandLineOption node("node-address", QStringLiteral("Node address of the device (default 1)."),
                                  "address", "1");
    const QCommandLineOption block("sha-block-size",
                                   QStringLiteral("Bytes per SHA block of version answers (default 1024)."),
                                   "bytes", "1024");
    const QCommandLineOption bufferFull(
        "buffer-full-every",
        QStringLiteral("Answer every Kth DATA_FILE by BUFFER_FULL (default 0: "
                       "never)."),
        "K", "0");
    const QCommandLineOption version("device-version",
                                     QStringLiteral("Version answered to the version query, as a number or "
                                                    "a.b.c (default 1.0.0)."),
                                     "version", "1.0.0");
    const QCommandLineOption loseAck(
        "fault-lose-ack", QStringLiteral("Do not acknowledge that node message: COMMAND[:N] or N."),
        "target");
    const QCommandLineOption badCrc(
        "fault-bad-crc",
        QStringLiteral("Corrupt the CRC-8 of the reply to that message: COMMAND[:N] "
                       "or N."),
        "target");
    const QCommandLineOption errorOption(
        "fault-error",
        QStringLiteral("Answer that command by a boot-loader ERROR with CODE: "
                       "CODE@COMMAND[:N]."),
        "code@target");
    const QCommandLineOption silence(
        "fault-silence-after", QStringLiteral("Answer nothing once N frames or commands were received."),
        "N");
    const QCommandLineOption split("fault-split", QStringLiteral("Send every reply in two chunks."));
    const QCommandLineOption splitGap(
        "split-gap-ms", QStringLiteral("Time between the two chunks of a split reply (default 30)."), "ms",
        "30");
    const QCommandLineOption refuse("fault-refuse-reset", QStringLiteral("Refuse the micro reset (SYrst0)."));
    const QCommandLineOption leadingByte("fault-reset-leading-byte",
                                         QStringLiteral("Send a stray line end before the reset answer."));
    const QCommandLineOption wrongSha("fault-wrong-sha",
                                      QStringLiteral("The Nth SHA_STATUS carries a wrong digest."), "N");
    const QCommandLineOption stale("fault-stale-resident",
                                   QStringLiteral("The first check of the resident boot loader's content "
                                                  "mismatches."));
    const QCommandLineOption powerCut(
        "power-cut-at",
        QStringLiteral("The power fails once that command was taken in (COMMAND[:N] or N): no "
                       "link answers any more and the state file keeps the memory of that instant. "
                       "SIGUSR1 does the same at any time."),
        "target");
    const QCommandLineOption erase(
        "erase-ms-per-128000",
        QStringLiteral("Erase time after START_SEND of any component but an FPGA image, per 128000 "
                       "bytes of FILE_SIZE (default 1500; 0: none). Nothing is read meanwhile."),
        "ms", "1500");
    const QCommandLineOption write(
        "write-us-per-block", QStringLiteral("Write time of each DATA_FILE block (default 0)."), "us", "0");
    const QCommandLineOption noTiming("no-timing",
                                      QStringLiteral("Answer at once: no erase time, no write time."));
    parser.addOptions({help,        udp,      sambaUdp, pty,        sambaPty, bind,     state,
                       log,         node,     block,    bufferFull, version,  loseAck,  badCrc,
                       errorOption, silence,  split,    splitGap,   refuse,   wrongSha, stale,
                       leadingByte, powerCut, erase,    write,      noTiming});

    if (!parser.parse(arguments))
    {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help))
    {
        helpText = parser.helpText();
        return true;
    }
    if (!parser.positionalArguments().isEmpty())
    {
        error = QStringLiteral("Unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }

    T_SIM_OPTIONS result;
    QWord value = 0;
    auto addUdp = [&](const QCommandLineOption& option, Bool samba)
    {
        for (const QString& text : parser.values(option))
        {
            if (!ParseUnsigned(text, 65535, value))
            {
                error = QStringLiteral("--%1: bad port \"%2\"").arg(option.names().first(), text);
                return false;
            }
            T_SIM_LINK_REQUEST link;
            link.Kind = T_SIM_LINK_REQUEST::UDP;
            link.UdpPort = Word(value);
            link.Samba = samba;
            result.Links.append(link);
        }
        return true;
    };
    auto addPty = [&](const QCommandLineOption& option, Bool samba)
    {
        for (const QString& text : parser.values(option))
        {
            if (text.isEmpty())
            {
                error = QStringLiteral("--%1: empty path (use \"-\" for no symbolic link)")
                            .arg(option.names().first());
                return false;
            }
            T_SIM_LINK_REQUEST link;
            link.Kind = T_SIM_LINK_REQUEST::PTY;
            link.PtyLinkPath = text == QLatin1String("-") ? QString() : text;
            link.Samba = samba;
            result.Links.append(link);
        }
        return true;
    };
    if (!addUdp(udp, false) || !addUdp(sambaUdp, true) || !addPty(pty, false) || !addPty(sambaPty, true))
        return false;
    if (result.Links.isEmpty())
    {
        error = QStringLiteral("No link: give at least one of --udp-port, --samba-udp-port, --pty-link, "
                               "--samba-pty-link");
        return false;
    }
    if (!result.UdpBindAddress.setAddress(parser.value(bind)))
    {
        error = QStringLiteral("--udp-bind: bad address \"%1\"").arg(parser.value(bind));
        return false;
    }
    result.StatePath = parser.value(state);
    result.LogPath = parser.value(log);
    if (!ParseUnsigned(parser.value(node), 255, value))
    {
        error = QStringLiteral("--node-address: bad address \"%1\" (0 to 255)").arg(parser.value(node));
        return false;
    }
    result.NodeAddress = Byte(value);
    if (!ParseUnsigned(parser.value(block), MAX_SHA_BLOCK_SIZE, value) || value < MIN_SHA_BLOCK_SIZE)
    {
        error = QStringLiteral("--sha-block-size: bad size \"%1\" (%2 to %3)")
                    .arg(parser.value(block))
                    .arg(MIN_SHA_BLOCK_SIZE)
                    .arg(MAX_SHA_BLOCK_SIZE);
        return false;
    }
    result.ShaBlockSize = DWord(value);
    if (!ParseUnsigned(parser.value(bufferFull), 0xFFFFFFFFu, value))
    {
        error = QStringLiteral("--buffer-full-every: bad count \"%1\"").arg(parser.value(bufferFull));
        return false;
    }
    result.BufferFullEvery = DWord(value);
    if (!ParseDeviceVersion(parser.value(version), result.DeviceVersion))
    {
        error = QStringLiteral("--device-version: bad version \"%1\" (a number or a.b.c)")
                    .arg(parser.value(version));
        return false;
    }

    T_SIM_FAULTS& faults = result.Faults;
    QString targetError;
    if (parser.isSet(loseAck) && !ParseFaultTarget(parser.value(loseAck), faults.LoseAck, targetError))
    {
        error = QStringLiteral("--fault-lose-ack: ") + targetError;
        return false;
    }
    if (parser.isSet(badCrc) && !ParseFaultTarget(parser.value(badCrc), faults.BadCrc, targetError))
    {
        error = QStringLiteral("--fault-bad-crc: ") + targetError;
        return false;
    }
    if (parser.isSet(errorOption))
    {
        const QString text = parser.value(errorOption);
        const int at = text.indexOf(QLatin1Char('@'));
        if (at <= 0 || !ParseUnsigned(text.left(at), 255, value))
        {
            error =
                QStringLiteral("--fault-error: bad value \"%1\" (CODE@COMMAND[:N], code 0 to 255)").arg(text);
            return false;
        }
        faults.ErrorCode = Byte(value);
        if (!ParseFaultTarget(text.mid(at + 1), faults.Error, targetError))
        {
            error = QStringLiteral("--fault-error: ") + targetError;
            return false;
        }
    }
    if (parser.isSet(silence))
    {
        if (!ParseUnsigned(parser.value(silence), 0xFFFFFFFFu, value))
        {
            error = QStringLiteral("--fault-silence-after: bad count \"%1\"").arg(parser.value(silence));
            return false;
        }
        faults.Silence = true;
        faults.SilenceAfter = DWord(value);
    }
    faults.Split = parser.isSet(split);
    if (!ParseUnsigned(parser.value(splitGap), 60000, value))
    {
        error = QStringLiteral("--split-gap-ms: bad time \"%1\" (0 to 60000)").arg(parser.value(splitGap));
        return false;
    }
    faults.SplitGapMs = DWord(value);
    faults.RefuseReset = parser.isSet(refuse);
    faults.ResetLeadingByte = parser.isSet(leadingByte);
    if (parser.isSet(wrongSha))
    {
        if (!ParseUnsigned(parser.value(wrongSha), 0xFFFFFFFFu, value) || value == 0)
        {
            error =
                QStringLiteral("--fault-wrong-sha: bad count \"%1\" (from 1 on)").arg(parser.value(wrongSha));
            return false;
        }
        faults.WrongSha = DWord(value);
    }
    faults.StaleResident = parser.isSet(stale);
    if (parser.isSet(powerCut) && !ParseFaultTarget(parser.value(powerCut), faults.PowerCut, targetError))
    {
        error = QStringLiteral("--power-cut-at: ") + targetError;
        return false;
    }
    // A minute per 128000 bytes, a second per block: far beyond any flash.
    if (!ParseUnsigned(parser.value(erase), 60000, value))
    {
        error =
            QStringLiteral("--erase-ms-per-128000: bad time \"%1\" (0 to 60000)").arg(parser.value(erase));
        return false;
    }
    result.Timing.EraseMsPerUnit = DWord(value);
    if (!ParseUnsigned(parser.value(write), 1000000, value))
    {
        error =
            QStringLiteral("--write-us-per-block: bad time \"%1\" (0 to 1000000)").arg(parser.value(write));
        return false;
    }
    result.Timing.WriteUsPerBlock = DWord(value);
    if (parser.isSet(noTiming))
        result.Timing = T_SIM_TIMING{0, 0};
    options = result;
    return true;
}
