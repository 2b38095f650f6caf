@rem One round of kelvrix-cli watch for the Windows Task Scheduler: the alarm
@rem and video-loss entries new in every unit's histories, into the Windows
@rem Event Log (source "Kelvrix", registered by the installer) and appended
@rem as JSON lines to watch.jsonl beside this file; the state file beside it
@rem keeps what was seen. The panel must not hold the COM port meanwhile.
@rem As an administrator:
@rem   mkdir C:\ProgramData\Kelvrix
@rem   copy kelvrix-watch.cmd C:\ProgramData\Kelvrix\
@rem   schtasks /Create /TN "Kelvrix watch" /SC MINUTE /MO 5 /RU SYSTEM /TR C:\ProgramData\Kelvrix\kelvrix-watch.cmd
@echo off
"C:\Program Files\Kelvrix\kelvrix-cli.exe" watch --serial COM3 --bus --once --state "%~dp0watch.state" --eventlog >> "%~dp0watch.jsonl"
exit /b %errorlevel%
