@echo off
rem Stand-in for the driver's shortcut script, which adds the Start-menu shortcuts
rem with INSTALL and takes them away with UNINSTALL. This one notes each run in
rem ORVA_MENULINKS_RECORD (default %TEMP%\MenuLinksRuns.txt), and with UNINSTALL
rem deletes itself last: the engine cannot, because the installer holds the script
rem open while the engine runs.
set "record=%ORVA_MENULINKS_RECORD%"
if "%record%"=="" set "record=%TEMP%\MenuLinksRuns.txt"
>>"%record%" echo menulinks args=[%*] script=[%~f0] cwd=[%CD%]
if /i "%~1"=="UNINSTALL" del "%~f0"
