#!/usr/bin/env python3
"""Fills translations/kavrel_pl.ts from the Polish texts below: every message
whose source is listed gets its translation and loses its "unfinished" mark.
Run after lupdate; what it leaves unfinished the translation check reports."""
import re
import sys
import xml.etree.ElementTree as ET

COMMON = {
    'OK': 'OK', 'Cancel': 'Anuluj', 'Close': 'Zamknij', 'Add': 'Dodaj', 'Delete': 'Usuń',
    'Address': 'Adres', 'Description': 'Opis', 'Type': 'Typ', 'Model': 'Model', 'Settings': 'Ustawienia',
    'Value': 'Wartość', 'Time': 'Czas', 'Quantity': 'Wielkość', 'Code': 'Kod', 'Item': 'Pozycja',
    'Compare with file': 'Porównaj z plikiem', 'Restore from file': 'Odtwórz z pliku',
    'Charts': 'Wykresy', 'Currents': 'Prądy', 'Powers': 'Moce', 'Power factor': 'Współczynnik mocy',
    'Device List': 'Lista urządzeń', 'Extreme values': 'Wartości ekstremalne', 'Harmonics': 'Harmoniczne',
    'Table': 'Tabela', 'Print': 'Drukuj', 'Exit': 'Koniec',
    'KX7 converter': 'Konwerter KX7', 'RS485 card': 'Karta RS485',
    # TAboutBox
    'About ...': 'O programie...',
    'Kavrel - Service Program for TR5, TR5B, VR5, VR5B, TR8': 'Kavrel - program serwisowy dla TR5, TR5B, VR5, VR5B, TR8',
    'Version %1': 'Wersja %1',
    'Free software under the GNU General Public License, version 3 or later. It comes with ABSOLUTELY NO WARRANTY.':
        'Wolne oprogramowanie na licencji GNU General Public License w wersji 3 lub późniejszej. '
        'Program jest dostarczany BEZ JAKIEJKOLWIEK GWARANCJI.', 'The Kavrel developers': 'Twórcy programu Kavrel',
    # TDialogKonfig
    'Find meters…': 'Szukaj mierników…',
    '"%1" is not a slave address: enter a whole number from 1 to 247.':
        '„%1” nie jest adresem urządzenia podrzędnego: wpisz liczbę całkowitą od 1 do 247.',
    '%1 at address %2': '%1 pod adresem %2', 'Already in the list: %1.': 'Już na liście: %1.',
    # TDialogPort
    'Port settings': 'Ustawienia portu', 'Port:': 'Port:', 'Baud rate:': 'Prędkość transmisji:',
    'Link type:': 'Rodzaj łącza:', 'Settings:': 'Ustawienia:',
    '1- ASCII 8N1 - 8 data bits, lack of parity, stop bit': '1- ASCII 8N1 - 8 bitów danych, bez parzystości, bit stopu',
    '2- ASCII 7E1 - 7 data bits, even parity, stop bit': '2- ASCII 7E1 - 7 bitów danych, parzystość parzysta, bit stopu',
    '3 - ASCII 7O1 - 7 data bits, odd parity, stop bit': '3 - ASCII 7O1 - 7 bitów danych, parzystość nieparzysta, bit stopu',
    '4 - RTU 8N2 - 8 data bits, lack of parity, 2 stop bit': '4 - RTU 8N2 - 8 bitów danych, bez parzystości, 2 bity stopu',
    '5 - RTU 8E1 - 8 data bits, even parity,stop bit': '5 - RTU 8E1 - 8 bitów danych, parzystość parzysta, bit stopu',
    '6 - RTU 8O1 - 8 data bits, odd parity, stop bit': '6 - RTU 8O1 - 8 bitów danych, parzystość nieparzysta, bit stopu',
    '7 - RTU 8N1 - 8 data bits, stop bit': '7 - RTU 8N1 - 8 bitów danych, bit stopu',
    'Network serial server (TCP)': 'Sieciowy serwer portu szeregowego (TCP)', 'Host:': 'Host:',
    'name or IP address': 'nazwa lub adres IP', 'TCP port:': 'Port TCP:',
    ': no such device on this computer': ': brak takiego urządzenia w tym komputerze',
    'No permission to open %1. Add your user to the group "%2" (sudo adduser %3 %2), then log out and log in again.':
        'Brak uprawnień do otwarcia %1. Dodaj swojego użytkownika do grupy „%2” (sudo adduser %3 %2), a następnie wyloguj się i zaloguj ponownie.',
    '%1 is in use by another program.': '%1 jest używany przez inny program.',
    ': connected': ': połączono', 'Message': 'Komunikat', 'Incorrect address': 'Nieprawidłowy adres',
    'Incorrect port': 'Nieprawidłowy port',
    # TDialogProgram
    'Parameter programming': 'Programowanie parametrów', 'Menu': 'Menu', 'Parameter/Value': 'Parametr/Wartość',
    'Use': 'Zastosuj', 'Not a number': 'To nie jest liczba', 'Out of range': 'Poza zakresem',
    'Out of range: allowed %1 to %2': 'Poza zakresem: dozwolone od %1 do %2',
    # TExtrema
    'Voltages and currents': 'Napięcia i prądy', 'Coefficients': 'Współczynniki', '3-phase parameters': 'Parametry 3-fazowe',
    'THD harmonics': 'Odkształcenie THD', 'Minimum': 'Minimum', 'Maximum': 'Maksimum', 'Time min': 'Czas min',
    'Time max': 'Czas max',
    # TForm2
    'Voltages': 'Napięcia', 'Power P': 'Moc P', 'Power Q': 'Moc Q', 'Power S': 'Moc S', 'THD': 'THD',
    'List of events': 'Lista zdarzeń',
    # THarmoniczne
    'Voltage L1': 'Napięcie L1', 'Voltage L2': 'Napięcie L2', 'Voltage L3': 'Napięcie L3',
    'Current L1': 'Prąd L1', 'Current L2': 'Prąd L2', 'Current L3': 'Prąd L3',
    'List of values:': 'Lista wartości:', 'Restore': 'Przywróć',
    'Harmonics of the current and voltage run': 'Harmoniczne przebiegu prądu i napięcia',
    # TMDIChild
    'Phase voltages trends  [V]': 'Przebiegi napięć fazowych  [V]', 'Phase Voltages': 'Napięcia fazowe',
    'Power factors': 'Współczynniki mocy', 'Others': 'Inne', 'Current [A]': 'Prąd [A]',
    'Active power P1, P2, P3  [ W ]': 'Moc czynna P1, P2, P3  [ W ]', 'Power P, Pav [ W ]': 'Moc P, Pav [ W ]',
    'Auto': 'Auto', 'Clear': 'Wyczyść', 'Auto X': 'Auto X', 'Up': 'W górę', 'Down': 'W dół',
    'Trace time': 'Czas przebiegu',
    # TMainForm
    '&Print': '&Drukuj', 'Print running trend': 'Drukuj bieżący przebieg', '&Save Settings': '&Zapisz ustawienia',
    'Save to file devices and COM settings': 'Zapisz do pliku urządzenia i ustawienia portu COM',
    '&Exit': '&Koniec', 'Program exit': 'Zakończenie programu', '&Programming...': '&Programowanie...',
    'Programming of meter parameters': 'Programowanie parametrów miernika', '&COM setting...': 'Ustawienia portu &COM...',
    'Configuration serial port': 'Konfiguracja portu szeregowego', '&Table': '&Tabela', '&Charts': '&Wykresy',
    '&Harmonics...': '&Harmoniczne...', 'Harmonic analyses': 'Analiza harmonicznych',
    '&Device list...': '&Lista urządzeń...', 'Choose a device from the list': 'Wybierz urządzenie z listy',
    '&Extreme': '&Ekstrema', 'Displaying of minimal and maximal value': 'Wyświetlanie wartości minimalnych i maksymalnych',
    '&Cascade': '&Kaskadowo', '&Tile': '&Sąsiadująco', '&About...': '&O programie...', 'E&xport...': 'E&ksport...',
    'Export what the active window shows as a CSV file': 'Eksportuj zawartość aktywnego okna do pliku CSV',
    'Service &report...': '&Raport serwisowy...', 'Write a PDF report of the current meter': 'Zapisz raport PDF bieżącego miernika',
    'Save meter &setup...': 'Zapisz &konfigurację miernika...',
    'Read every setup parameter of the meter into a file': 'Odczytaj wszystkie parametry konfiguracji miernika do pliku',
    'Compare &with file...': 'Porównaj z &plikiem...',
    'List the setup parameters that differ from a file': 'Pokaż parametry konfiguracji różniące się od pliku',
    '&Restore from file...': '&Odtwórz z pliku...',
    'Write the setup parameters of a file into the meter': 'Zapisz parametry konfiguracji z pliku do miernika',
    'Measurements table': 'Tabela pomiarów', '&File': '&Plik', '&Options': '&Opcje', '&Language': '&Język',
    '&System': 'Język &systemu', '&Window': '&Okno', 'Zarządzanie oknami': 'Zarządzanie oknami', '&Help': 'Pomo&c',
    'Device address': 'Adres urządzenia', 'Cannot open file %1.': 'Nie można otworzyć pliku %1.',
    'waiting for ': 'oczekiwanie na ', 'The active window has nothing to export.': 'Aktywne okno nie ma nic do eksportu.',
    'Export': 'Eksport', 'CSV files (*.csv)': 'Pliki CSV (*.csv)', 'Cannot write file %1.': 'Nie można zapisać pliku %1.',
    'Exported to %1': 'Wyeksportowano do %1', 'Service report': 'Raport serwisowy', 'PDF files (*.pdf)': 'Pliki PDF (*.pdf)',
    'Reading the meter...': 'Odczyt miernika...', 'Reading %1...': 'Odczyt: %1...',
    'Service report written to %1': 'Raport serwisowy zapisano do %1',
    'Service report written to %1, incomplete: %2': 'Raport serwisowy zapisano do %1, niekompletny: %2',
    'Save meter setup': 'Zapisz konfigurację miernika', 'Setup files (*.txt)': 'Pliki konfiguracji (*.txt)',
    'Meter setup not saved: ': 'Konfiguracja miernika nie została zapisana: ',
    '%1 setup items saved to %2': 'Zapisano %1 pozycji konfiguracji do %2',
    'Setup files (*.txt);;All files (*)': 'Pliki konfiguracji (*.txt);;Wszystkie pliki (*)',
    'Cannot create file %1.': 'Nie można utworzyć pliku %1.',
    'The language changes when Kavrel is started again.': 'Język zmieni się po ponownym uruchomieniu programu Kavrel.',
    # TScanDialog
    'Find meters': 'Szukaj mierników', 'Try every baud rate and mode': 'Sprawdź każdą prędkość transmisji i tryb',
    'Start': 'Start', 'Add to device list': 'Dodaj do listy urządzeń', 'Addresses': 'Adresy', 'to': 'do',
    'The port is not open: choose one under COM setting.': 'Port nie jest otwarty: wybierz go w ustawieniach portu COM.',
    'The first address must not be above the last.': 'Pierwszy adres nie może być większy od ostatniego.',
    'This takes about %1': 'To potrwa około %1', ' (%1 line settings)': ' (ustawienia łącza: %1)', ' at %1': ' przy %1',
    'Scanning...': 'Wyszukiwanie...', 'Scan cancelled: %1 found.': 'Wyszukiwanie przerwane, znaleziono: %1.',
    'Address %1 at %2%3: %4 found': 'Adres %1 przy %2%3, znaleziono: %4', ', second try': ', druga próba',
    'No meter answered.': 'Żaden miernik nie odpowiedział.', 'Scan done: %1 found.': 'Wyszukiwanie zakończone, znaleziono: %1.',
    'Choose the model of the meter at address %1.': 'Wybierz model miernika pod adresem %1.',
    # TServiceReport
    'Service report: %1 %2': 'Raport serwisowy: %1 %2', 'Meter and link': 'Miernik i łącze', 'Name': 'Nazwa',
    'Port': 'Port', 'none': 'brak', 'Baud rate': 'Prędkość transmisji', 'Transmission mode': 'Tryb transmisji',
    'Link': 'Łącze', 'Made': 'Sporządzono', 'Program': 'Program', 'Live values': 'Wartości bieżące',
    'THD and harmonics': 'THD i harmoniczne', 'Order': 'Rząd', 'Setup': 'Konfiguracja', 'not read': 'nie odczytano',
    'Events': 'Zdarzenia', 'Event': 'Zdarzenie', 'INCOMPLETE REPORT: not read: %1': 'RAPORT NIEKOMPLETNY: nie odczytano: %1',
    # TSetupDialog
    'File': 'Plik', 'Meter': 'Miernik', 'Unit': 'Jednostka', 'Result': 'Wynik', 'Limits': 'Zakres', 'Write': 'Zapisz',
    'Cannot read %1: %2.': 'Nie można odczytać %1: %2.',
    'Cannot read %1: larger than a setup file can be (1 MB).': 'Nie można odczytać %1: plik większy niż dopuszczalny dla pliku konfiguracji (1 MB).',
    '%1 is refused, nothing is sent: %2': '%1 odrzucono, nic nie wysłano: %2',
    "The meter's setup could not be read: %1": 'Nie udało się odczytać konfiguracji miernika: %1',
    '%1 holds the setup of the file: no item differs.': '%1 ma konfigurację z pliku: żadna pozycja się nie różni.',
    "%1 of %2 items of %3 differ from the file. Write the file's values?": '%1 z %2 pozycji miernika %3 różni się od pliku. Zapisać wartości z pliku?',
    '%1 of %2 items of %3 differ from the file.': '%1 z %2 pozycji miernika %3 różni się od pliku.',
    '%1 of %2 items written.': 'Zapisano %1 z %2 pozycji.',
    'written': 'zapisano', 'refused: %1': 'odrzucono: %1', 'not confirmed: %1': 'niepotwierdzone: %1',
}

# The meter's texts (context "Meter").
METER = {
    '\tConnection to %1': '\tPołączenie z %1', '\tTransmission error with %1': '\tBłąd transmisji z %1',
    '\tBad configuration %1': '\tBłędna konfiguracja %1', '\tStart of alarm %1': '\tPoczątek alarmu %1',
    '\tEnd of alarm %1': '\tKoniec alarmu %1', '%1 harmonic of %2': '%1. harmoniczna: %2',
    'Impossible request': 'Żądanie niemożliwe do wykonania', 'Parameter read-only': 'Parametr tylko do odczytu',
    'Out of range': 'Poza zakresem', 'No transmission with %1': 'Brak transmisji z %1',
    ': no such device': ': nie ma takiego urządzenia',
    ': permission denied; add your user to the group "dialout" (sudo adduser $USER dialout), then log out and log in again':
        ': brak uprawnień; dodaj swojego użytkownika do grupy "dialout" (sudo adduser $USER dialout), '
        'a potem wyloguj się i zaloguj ponownie',
    ': busy, in use by another program': ': zajęty, używany przez inny program',
    ': not a serial port': ': to nie jest port szeregowy', ': cannot be opened': ': nie można otworzyć',
    ': cannot be reached': ': nie można nawiązać połączenia',
    ' - min': ' - min', ' - max': ' - max', '- min': '- min', '- max': '- max', ' (min)': ' (min)', ' (max)': ' (max)',
    '3-phase active energy': 'Energia czynna 3-fazowa', '3-phase active power': 'Moc czynna 3-fazowa',
    '3-phase apparent energy': 'Energia pozorna 3-fazowa', '3-phase apparent power': 'Moc pozorna 3-fazowa',
    '3-phase current average': 'Średni prąd 3-fazowy', '3-phase parameters - min, max': 'Parametry 3-fazowe - min, max',
    '3-phase parameters - time(min,max)': 'Parametry 3-fazowe - czas (min, max)',
    '3-phase reactive energy': 'Energia bierna 3-fazowa', '3-phase reactive power': 'Moc bierna 3-fazowa',
    '3-phase voltage average': 'Średnie napięcie 3-fazowe',
    'Active energy from external counter': 'Energia czynna z licznika zewnętrznego',
    'Active power factor': 'Współczynnik mocy czynnej', 'Alarm - parameters': 'Alarm - parametry',
    'Alarm setting': 'Ustawienia alarmów',
    'Apparent energy from external counter': 'Energia pozorna z licznika zewnętrznego',
    'Average 3-phase current': 'Średni prąd 3-fazowy', 'Average 3-phase voltage': 'Średnie napięcie 3-fazowe',
    'Average active power': 'Średnia moc czynna', 'Average phase to phase voltage': 'Średnie napięcie międzyfazowe',
    'Average voltage phase to phase': 'Średnie napięcie międzyfazowe',
    'Cancellation of mean power(1-yes)': 'Kasowanie mocy średniej (1-tak)',
    'Cancellation of power Pav,average(1-yes)': 'Kasowanie średniej mocy Pav (1-tak)',
    'Cancellation of tariffs counters(1-yes)': 'Kasowanie liczników taryfowych (1-tak)',
    'Cancellation of the active energy counter (1-yes)': 'Kasowanie licznika energii czynnej (1-tak)',
    'Cancellation of the apparent energy counter(1-yes)': 'Kasowanie licznika energii pozornej (1-tak)',
    'Cancellation of the average active power Pav (1-yes)': 'Kasowanie średniej mocy czynnej Pav (1-tak)',
    'Cancellation of the external energy counter(1-yes)': 'Kasowanie zewnętrznego licznika energii (1-tak)',
    'Cancellation of the reactive energy counter (1-yes)': 'Kasowanie licznika energii biernej (1-tak)',
    'Change of security code': 'Zmiana kodu zabezpieczającego',
    'Choice of network type:3 or 4-wire(0/1)': 'Wybór rodzaju sieci: 3- lub 4-przewodowa (0/1)',
    'Constant of the external energy counter': 'Stała zewnętrznego licznika energii',
    'Constant of the pulse output': 'Stała wyjścia impulsowego',
    'Continuous output - parameters': 'Wyjście analogowe - parametry',
    'Date-month,day': 'Data - miesiąc, dzień', 'Delay of alarm action': 'Opóźnienie zadziałania alarmu',
    'Delay of alarm switch on': 'Opóźnienie załączenia alarmu', 'Display brightness': 'Jasność wyświetlacza',
    'Energy': 'Energia', 'Factor of the output rescaling': 'Współczynnik przeskalowania wyjścia',
    'Factors - min, max': 'Współczynniki - min, max', 'Factors - time(min,max)': 'Współczynniki - czas (min, max)',
    'Frequency': 'Częstotliwość', 'Harmonic measurement': 'Pomiar harmonicznych',
    'Harmonics (1-On,0-Off)': 'Harmoniczne (1-wł., 0-wył.)', 'Harmonics THD': 'Odkształcenie THD',
    'Harmonics THD (min,max)': 'Odkształcenie THD (min, max)', 'Harmonics THD - time(min,max)': 'Odkształcenie THD - czas (min, max)',
    'Interval of mean power(0-off,1-15,2-30,3-60min)': 'Okres mocy średniej (0-wył., 1-15, 2-30, 3-60 min)',
    'Lower threshold of the input quantity': 'Dolny próg wielkości wejściowej',
    'Lower threshold of the output scaling': 'Dolny próg skalowania wyjścia',
    'Mode Alarms': 'Tryb Alarmy', 'Mode Analog Outputs': 'Tryb Wyjścia analogowe', 'Mode Parameters': 'Tryb Parametry',
    'Month*100+day': 'Miesiąc*100+dzień', 'Powers - min, max': 'Moce - min, max', 'Powers - time(min, max)': 'Moce - czas (min, max)',
    'Process variables': 'Zmienne procesowe', 'Quantity on the analogue output': 'Wielkość na wyjściu analogowym',
    'Quantity on the continuous output': 'Wielkość na wyjściu analogowym',
    'Quantity on the pulse input': 'Wielkość na wejściu impulsowym', 'Quantity on the pulse output': 'Wielkość na wyjściu impulsowym',
    'Quantity on the relay output': 'Wielkość na wyjściu przekaźnikowym',
    'Range of the continuous output(0-0..20;1-4..20mA)': 'Zakres wyjścia analogowego (0-0..20; 1-4..20 mA)',
    'Ratio of current transformer': 'Przekładnia przekładnika prądowego',
    'Ratio of voltage transformer': 'Przekładnia przekładnika napięciowego',
    'Reactive energy from external counter': 'Energia bierna z licznika zewnętrznego',
    'Relay output': 'Wyjście przekaźnikowe', 'Relay output state': 'Stan wyjścia przekaźnikowego',
    'Relay output state (b2b1b0=P3P2P1)': 'Stan wyjść przekaźnikowych (b2b1b0=P3P2P1)',
    'Relay output state (b3b2b1b0=P4P3P2P1)': 'Stan wyjść przekaźnikowych (b3b2b1b0=P4P3P2P1)',
    'Security code': 'Kod zabezpieczający', 'Service parameters': 'Parametry serwisowe',
    'Setup mode parameters': 'Parametry trybu konfiguracji', 'State of the relay output': 'Stan wyjścia przekaźnikowego',
    'Switch off value': 'Wartość wyłączenia', 'Switch on value': 'Wartość załączenia',
    'Synch average power with RTC': 'Synchronizacja mocy średniej z zegarem RTC',
    'Synch. average power Pav': 'Synchronizacja mocy średniej Pav', 'Synchronization with RTC': 'Synchronizacja z zegarem RTC',
    'Tariffs': 'Taryfy', 'Time Setting': 'Ustawienie czasu', 'Time setting': 'Ustawienie czasu',
    'Time in format Hour*100+minutes': 'Czas w formacie godzina*100+minuty',
    'Time on average active power': 'Czas uśredniania mocy czynnej',
    'Time on average active power Pav(1-15,2-30,3-60min)': 'Czas uśredniania mocy czynnej Pav (1-15, 2-30, 3-60 min)',
    'Time-hour,minute': 'Czas - godzina, minuta',
    'Upper threshold of the input quantity': 'Górny próg wielkości wejściowej',
    'Upper threshold of the output scaling': 'Górny próg skalowania wyjścia',
    'Voltages and current - min, max': 'Napięcia i prądy - min, max',
    'Voltages i currents - time(min,max)': 'Napięcia i prądy - czas (min, max)', 'Year': 'Rok',
    'tangent fi': 'tangens fi', 'tangent fi(=Q/P)': 'tangens fi (=Q/P)',
}
RULES = [
    (r'^(\d) tariff active energy counter$', r'Licznik energii czynnej taryfy \1'),
    (r'^(\d) tariff reactive energy counter$', r'Licznik energii biernej taryfy \1'),
    (r'^(\d) tariff apparent energy counter$', r'Licznik energii pozornej taryfy \1'),
    (r'^Alarm(\d) - quantity$', r'Alarm\1 - wielkość'),
    (r'^Alarm(\d) - switching on value$', r'Alarm\1 - wartość załączenia'),
    (r'^Alarm(\d) - switching off value$', r'Alarm\1 - wartość wyłączenia'),
    (r'^Continuous output (\d) - high value$', r'Wyjście analogowe \1 - wartość górna'),
    (r'^Continuous output (\d) - low value$', r'Wyjście analogowe \1 - wartość dolna'),
    (r'^Continuous output (\d) - on/off$', r'Wyjście analogowe \1 - wł./wył.'),
    (r'^Continuous output (\d) - quantity$', r'Wyjście analogowe \1 - wielkość'),
    (r'^Continuous output (\d) - type$', r'Wyjście analogowe \1 - rodzaj'),
    (r'^Output (\d) - quantity$', r'Wyjście \1 - wielkość'),
    (r'^Output (\d) - switching off value$', r'Wyjście \1 - wartość wyłączenia'),
    (r'^Output (\d) - switching on value$', r'Wyjście \1 - wartość załączenia'),
    (r'^Output(\d) - high limit$', r'Wyjście\1 - granica górna'),
    (r'^Output(\d) - low limit$', r'Wyjście\1 - granica dolna'),
    (r'^Output(\d) - quantity$', r'Wyjście\1 - wielkość'),
    (r'^Harmonics of ([UI]\d) current$', r'Harmoniczne prądu \1'),
    (r'^Harmonics of ([UI]\d) voltage$', r'Harmoniczne napięcia \1'),
    (r'^(L\d) line current$', r'Prąd przewodowy \1'),
    (r'^(L\d) phase active power$', r'Moc czynna fazy \1'),
    (r'^(L\d) phase active power factor$', r'Współczynnik mocy czynnej fazy \1'),
    (r'^(L\d) phase apparent power$', r'Moc pozorna fazy \1'),
    (r'^(L\d) phase current$', r'Prąd fazy \1'),
    (r'^(L\d) phase reactive power$', r'Moc bierna fazy \1'),
    (r'^(L\d) phase tangent fi$', r'Tangens fi fazy \1'),
    (r'^(L\d) phase voltage$', r'Napięcie fazowe \1'),
    (r'^(L\d-L\d) voltage$', r'Napięcie międzyfazowe \1'),
    (r'^THD ([UI]\d)$', r'THD \1'),
    (r'^THD of (L\d) phase current$', r'THD prądu fazy \1'),
    (r'^THD of (L\d) phase voltage$', r'THD napięcia fazy \1'),
]


def polish(context, source):
    if context == 'Meter':
        if source in METER:
            return METER[source]
        for pattern, replacement in RULES:
            if re.match(pattern, source):
                return re.sub(pattern, replacement, source)
        return None
    return COMMON.get(source)


def main(path):
    tree = ET.parse(path)
    missing = []
    for context in tree.getroot().findall('context'):
        name = context.find('name').text
        for message in context.findall('message'):
            source = message.find('source').text
            translation = message.find('translation')
            text = polish(name, source)
            if text is None:
                missing.append(f'{name}: {source!r}')
                continue
            translation.text = text
            translation.attrib.pop('type', None)
    body = ET.tostring(tree.getroot(), encoding='unicode')
    with open(path, 'w', encoding='utf-8') as out:
        out.write('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n' + body + '\n')
    for m in missing:
        print('no Polish text:', m, file=sys.stderr)
    return 1 if missing else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else 'translations/kavrel_pl.ts'))
