@echo off
rem What the Start menu entry runs through cmd.exe, since the game's console is
rem its log. The game saves in the folder it starts in, so this starts it in the
rem player's own folder, %APPDATA%\Clodmere, making it when it is missing, and
rem never in the install folder. Started from a console, clodmere.exe saves in
rem the folder it was started from.
rem Only ASCII in this file: cmd reads it in the console's code page, while the
rem folder names come from the environment, whatever their letters. Paths stay
rem in quotes and out of parenthesised blocks, where a "&" or ")" in a folder
rem name would end the command.
setlocal
set "folder=%APPDATA%\Clodmere"
rem "\*" exists for a folder only; the folder is tested before cd, whose failure
rem wine's cmd does not report to "&&".
if not exist "%folder%\*" mkdir "%folder%"
if exist "%folder%\*" cd /d "%folder%" && goto start
echo Clodmere cannot make or enter its folder "%folder%".
set status=1
goto ended

:start
"%~dp0clodmere.exe"
set status=%errorlevel%

:ended
rem The console closes with the game: after a failure, keep its last lines readable.
if not "%status%"=="0" (
  echo Clodmere ended with exit status %status%. Press a key to close this window.
  pause >nul
)
exit /b %status%
