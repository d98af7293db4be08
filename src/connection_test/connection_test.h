#pragma once

class ConnectionTestWindow;
class ConsoleStarter;

/// "Test the Connection": writes the launcher and a script that only asks for the client's help
/// for the current destination row, and opens a console on them, not waited for.
class ConnectionTest final
{
public:
    explicit ConnectionTest(ConsoleStarter &consoles);

    /// Tests the window's current row; every refusal is a message box and leaves nothing written.
    void testCurrentRow(ConnectionTestWindow &window);

private:
    /// The row to test once the refusals have had their say; 0 when one refused it.
    static int checkedRow(ConnectionTestWindow &window);

    ConsoleStarter &m_consoles;
};
