#pragma once

#include <QProcess>
#include <QStringList>

#include "UpdateRuns.h"

// A program run under qrn207-usb-bridge, whose emulated 03EB:6124 device is
// bridged to the simulator's UDP port. Start, then Finish waits for it.
class CLASS_BRIDGED_RUN
{
public:
    struct T_RESULT : UpdateRuns::T_RUN
    {
        QString BridgeErrors; // the bridge's --stats lines
    };

    ~CLASS_BRIDGED_RUN()
    {
        if (m_Process.state() != QProcess::NotRunning)
            Finish(0);
    }

    void Start(const QProcessEnvironment& environment, quint16 simulatorPort,
               const QStringList& bridgeOptions, const QString& program, const QStringList& arguments)
    {
        m_Process.setProcessEnvironment(environment);
        m_Process.start(TestSupport::BinaryDir() + "/qrn207-usb-bridge",
                        QStringList{"--udp-port", QString::number(simulatorPort), "--stats"} + bridgeOptions +
                            QStringList{"--", TestSupport::BinaryDir() + "/" + program} + arguments);
    }

    T_RESULT Finish(int timeoutMs = UpdateRuns::UPDATE_TIMEOUT_MS)
    {
        T_RESULT run;
        run.Finished = m_Process.waitForFinished(timeoutMs);
        if (!run.Finished)
            m_Process.terminate(); // passed on to the program
        if (!run.Finished && !m_Process.waitForFinished(10000))
            m_Process.kill();
        m_Process.waitForFinished();
        run.Output = QString::fromUtf8(m_Process.readAllStandardOutput());
        run.BridgeErrors = QString::fromUtf8(m_Process.readAllStandardError());
        run.ExitCode = m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
        return run;
    }

    static T_RESULT Run(const QProcessEnvironment& environment, quint16 simulatorPort,
                        const QStringList& bridgeOptions, const QString& program,
                        const QStringList& arguments, int timeoutMs = UpdateRuns::UPDATE_TIMEOUT_MS)
    {
        CLASS_BRIDGED_RUN run;
        run.Start(environment, simulatorPort, bridgeOptions, program, arguments);
        return run.Finish(timeoutMs);
    }

private:
    QProcess m_Process;
};
