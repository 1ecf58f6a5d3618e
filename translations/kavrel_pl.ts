<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl" sourcelanguage="en">
<context>
    <name>Meter</name>
    <message>
        <source>1 tariff active energy counter</source>
        <translation>Licznik energii czynnej taryfy 1</translation>
    </message>
    <message>
        <source>1 tariff apparent energy counter</source>
        <translation>Licznik energii pozornej taryfy 1</translation>
    </message>
    <message>
        <source>1 tariff reactive energy counter</source>
        <translation>Licznik energii biernej taryfy 1</translation>
    </message>
    <message>
        <source>2 tariff active energy counter</source>
        <translation>Licznik energii czynnej taryfy 2</translation>
    </message>
    <message>
        <source>2 tariff apparent energy counter</source>
        <translation>Licznik energii pozornej taryfy 2</translation>
    </message>
    <message>
        <source>2 tariff reactive energy counter</source>
        <translation>Licznik energii biernej taryfy 2</translation>
    </message>
    <message>
        <source>3 tariff active energy counter</source>
        <translation>Licznik energii czynnej taryfy 3</translation>
    </message>
    <message>
        <source>3 tariff apparent energy counter</source>
        <translation>Licznik energii pozornej taryfy 3</translation>
    </message>
    <message>
        <source>3 tariff reactive energy counter</source>
        <translation>Licznik energii biernej taryfy 3</translation>
    </message>
    <message>
        <source>3-phase active energy</source>
        <translation>Energia czynna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase active power</source>
        <translation>Moc czynna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase apparent energy</source>
        <translation>Energia pozorna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase apparent power</source>
        <translation>Moc pozorna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase current average</source>
        <translation>Średni prąd 3-fazowy</translation>
    </message>
    <message>
        <source>3-phase parameters - min, max</source>
        <translation>Parametry 3-fazowe - min, max</translation>
    </message>
    <message>
        <source>3-phase parameters - time(min,max)</source>
        <translation>Parametry 3-fazowe - czas (min, max)</translation>
    </message>
    <message>
        <source>3-phase reactive energy</source>
        <translation>Energia bierna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase reactive power</source>
        <translation>Moc bierna 3-fazowa</translation>
    </message>
    <message>
        <source>3-phase voltage average</source>
        <translation>Średnie napięcie 3-fazowe</translation>
    </message>
    <message>
        <source>4 tariff active energy counter</source>
        <translation>Licznik energii czynnej taryfy 4</translation>
    </message>
    <message>
        <source>4 tariff apparent energy counter</source>
        <translation>Licznik energii pozornej taryfy 4</translation>
    </message>
    <message>
        <source>4 tariff reactive energy counter</source>
        <translation>Licznik energii biernej taryfy 4</translation>
    </message>
    <message>
        <source>Active energy from external counter</source>
        <translation>Energia czynna z licznika zewnętrznego</translation>
    </message>
    <message>
        <source>Active power factor</source>
        <translation>Współczynnik mocy czynnej</translation>
    </message>
    <message>
        <source>Alarm - parameters</source>
        <translation>Alarm - parametry</translation>
    </message>
    <message>
        <source>Alarm setting</source>
        <translation>Ustawienia alarmów</translation>
    </message>
    <message>
        <source>Alarm1 - quantity</source>
        <translation>Alarm1 - wielkość</translation>
    </message>
    <message>
        <source>Alarm1 - switching off value</source>
        <translation>Alarm1 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Alarm1 - switching on value</source>
        <translation>Alarm1 - wartość załączenia</translation>
    </message>
    <message>
        <source>Alarm2 - quantity</source>
        <translation>Alarm2 - wielkość</translation>
    </message>
    <message>
        <source>Alarm2 - switching off value</source>
        <translation>Alarm2 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Alarm2 - switching on value</source>
        <translation>Alarm2 - wartość załączenia</translation>
    </message>
    <message>
        <source>Alarm3 - quantity</source>
        <translation>Alarm3 - wielkość</translation>
    </message>
    <message>
        <source>Alarm3 - switching off value</source>
        <translation>Alarm3 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Alarm3 - switching on value</source>
        <translation>Alarm3 - wartość załączenia</translation>
    </message>
    <message>
        <source>Apparent energy from external counter</source>
        <translation>Energia pozorna z licznika zewnętrznego</translation>
    </message>
    <message>
        <source>Average 3-phase current</source>
        <translation>Średni prąd 3-fazowy</translation>
    </message>
    <message>
        <source>Average 3-phase voltage</source>
        <translation>Średnie napięcie 3-fazowe</translation>
    </message>
    <message>
        <source>Average active power</source>
        <translation>Średnia moc czynna</translation>
    </message>
    <message>
        <source>Average phase to phase voltage</source>
        <translation>Średnie napięcie międzyfazowe</translation>
    </message>
    <message>
        <source>Average voltage phase to phase</source>
        <translation>Średnie napięcie międzyfazowe</translation>
    </message>
    <message>
        <source>Cancellation of mean power(1-yes)</source>
        <translation>Kasowanie mocy średniej (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of power Pav,average(1-yes)</source>
        <translation>Kasowanie średniej mocy Pav (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of tariffs counters(1-yes)</source>
        <translation>Kasowanie liczników taryfowych (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of the active energy counter (1-yes)</source>
        <translation>Kasowanie licznika energii czynnej (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of the apparent energy counter(1-yes)</source>
        <translation>Kasowanie licznika energii pozornej (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of the average active power Pav (1-yes)</source>
        <translation>Kasowanie średniej mocy czynnej Pav (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of the external energy counter(1-yes)</source>
        <translation>Kasowanie zewnętrznego licznika energii (1-tak)</translation>
    </message>
    <message>
        <source>Cancellation of the reactive energy counter (1-yes)</source>
        <translation>Kasowanie licznika energii biernej (1-tak)</translation>
    </message>
    <message>
        <source>Change of security code</source>
        <translation>Zmiana kodu zabezpieczającego</translation>
    </message>
    <message>
        <source>Choice of network type:3 or 4-wire(0/1)</source>
        <translation>Wybór rodzaju sieci: 3- lub 4-przewodowa (0/1)</translation>
    </message>
    <message>
        <source>Constant of the external energy counter</source>
        <translation>Stała zewnętrznego licznika energii</translation>
    </message>
    <message>
        <source>Constant of the pulse output</source>
        <translation>Stała wyjścia impulsowego</translation>
    </message>
    <message>
        <source>Continuous output - parameters</source>
        <translation>Wyjście analogowe - parametry</translation>
    </message>
    <message>
        <source>Continuous output 1 - high value</source>
        <translation>Wyjście analogowe 1 - wartość górna</translation>
    </message>
    <message>
        <source>Continuous output 1 - low value</source>
        <translation>Wyjście analogowe 1 - wartość dolna</translation>
    </message>
    <message>
        <source>Continuous output 1 - on/off</source>
        <translation>Wyjście analogowe 1 - wł./wył.</translation>
    </message>
    <message>
        <source>Continuous output 1 - quantity</source>
        <translation>Wyjście analogowe 1 - wielkość</translation>
    </message>
    <message>
        <source>Continuous output 1 - type</source>
        <translation>Wyjście analogowe 1 - rodzaj</translation>
    </message>
    <message>
        <source>Continuous output 2 - high value</source>
        <translation>Wyjście analogowe 2 - wartość górna</translation>
    </message>
    <message>
        <source>Continuous output 2 - low value</source>
        <translation>Wyjście analogowe 2 - wartość dolna</translation>
    </message>
    <message>
        <source>Continuous output 2 - on/off</source>
        <translation>Wyjście analogowe 2 - wł./wył.</translation>
    </message>
    <message>
        <source>Continuous output 2 - quantity</source>
        <translation>Wyjście analogowe 2 - wielkość</translation>
    </message>
    <message>
        <source>Continuous output 2 - type</source>
        <translation>Wyjście analogowe 2 - rodzaj</translation>
    </message>
    <message>
        <source>Continuous output 3 - high value</source>
        <translation>Wyjście analogowe 3 - wartość górna</translation>
    </message>
    <message>
        <source>Continuous output 3 - low value</source>
        <translation>Wyjście analogowe 3 - wartość dolna</translation>
    </message>
    <message>
        <source>Continuous output 3 - on/off</source>
        <translation>Wyjście analogowe 3 - wł./wył.</translation>
    </message>
    <message>
        <source>Continuous output 3 - quantity</source>
        <translation>Wyjście analogowe 3 - wielkość</translation>
    </message>
    <message>
        <source>Continuous output 3 - type</source>
        <translation>Wyjście analogowe 3 - rodzaj</translation>
    </message>
    <message>
        <source>Continuous output 4 - high value</source>
        <translation>Wyjście analogowe 4 - wartość górna</translation>
    </message>
    <message>
        <source>Continuous output 4 - low value</source>
        <translation>Wyjście analogowe 4 - wartość dolna</translation>
    </message>
    <message>
        <source>Continuous output 4 - on/off</source>
        <translation>Wyjście analogowe 4 - wł./wył.</translation>
    </message>
    <message>
        <source>Continuous output 4 - quantity</source>
        <translation>Wyjście analogowe 4 - wielkość</translation>
    </message>
    <message>
        <source>Continuous output 4 - type</source>
        <translation>Wyjście analogowe 4 - rodzaj</translation>
    </message>
    <message>
        <source>Date-month,day</source>
        <translation>Data - miesiąc, dzień</translation>
    </message>
    <message>
        <source>Delay of alarm action</source>
        <translation>Opóźnienie zadziałania alarmu</translation>
    </message>
    <message>
        <source>Delay of alarm switch on</source>
        <translation>Opóźnienie załączenia alarmu</translation>
    </message>
    <message>
        <source>Display brightness</source>
        <translation>Jasność wyświetlacza</translation>
    </message>
    <message>
        <source>Energy</source>
        <translation>Energia</translation>
    </message>
    <message>
        <source>Factor of the output rescaling</source>
        <translation>Współczynnik przeskalowania wyjścia</translation>
    </message>
    <message>
        <source>Factors - min, max</source>
        <translation>Współczynniki - min, max</translation>
    </message>
    <message>
        <source>Factors - time(min,max)</source>
        <translation>Współczynniki - czas (min, max)</translation>
    </message>
    <message>
        <source>Frequency</source>
        <translation>Częstotliwość</translation>
    </message>
    <message>
        <source>Harmonic measurement</source>
        <translation>Pomiar harmonicznych</translation>
    </message>
    <message>
        <source>Harmonics (1-On,0-Off)</source>
        <translation>Harmoniczne (1-wł., 0-wył.)</translation>
    </message>
    <message>
        <source>Harmonics THD</source>
        <translation>Odkształcenie THD</translation>
    </message>
    <message>
        <source>Harmonics THD (min,max)</source>
        <translation>Odkształcenie THD (min, max)</translation>
    </message>
    <message>
        <source>Harmonics THD - time(min,max)</source>
        <translation>Odkształcenie THD - czas (min, max)</translation>
    </message>
    <message>
        <source>Harmonics of I1 current</source>
        <translation>Harmoniczne prądu I1</translation>
    </message>
    <message>
        <source>Harmonics of I2 current</source>
        <translation>Harmoniczne prądu I2</translation>
    </message>
    <message>
        <source>Harmonics of I3 current</source>
        <translation>Harmoniczne prądu I3</translation>
    </message>
    <message>
        <source>Harmonics of U1 voltage</source>
        <translation>Harmoniczne napięcia U1</translation>
    </message>
    <message>
        <source>Harmonics of U2 voltage</source>
        <translation>Harmoniczne napięcia U2</translation>
    </message>
    <message>
        <source>Harmonics of U3 voltage</source>
        <translation>Harmoniczne napięcia U3</translation>
    </message>
    <message>
        <source>Interval of mean power(0-off,1-15,2-30,3-60min)</source>
        <translation>Okres mocy średniej (0-wył., 1-15, 2-30, 3-60 min)</translation>
    </message>
    <message>
        <source>L1 line current</source>
        <translation>Prąd przewodowy L1</translation>
    </message>
    <message>
        <source>L1 phase active power</source>
        <translation>Moc czynna fazy L1</translation>
    </message>
    <message>
        <source>L1 phase active power factor</source>
        <translation>Współczynnik mocy czynnej fazy L1</translation>
    </message>
    <message>
        <source>L1 phase apparent power</source>
        <translation>Moc pozorna fazy L1</translation>
    </message>
    <message>
        <source>L1 phase current</source>
        <translation>Prąd fazy L1</translation>
    </message>
    <message>
        <source>L1 phase reactive power</source>
        <translation>Moc bierna fazy L1</translation>
    </message>
    <message>
        <source>L1 phase tangent fi</source>
        <translation>Tangens fi fazy L1</translation>
    </message>
    <message>
        <source>L1 phase voltage</source>
        <translation>Napięcie fazowe L1</translation>
    </message>
    <message>
        <source>L1-L2 voltage</source>
        <translation>Napięcie międzyfazowe L1-L2</translation>
    </message>
    <message>
        <source>L2 line current</source>
        <translation>Prąd przewodowy L2</translation>
    </message>
    <message>
        <source>L2 phase active power</source>
        <translation>Moc czynna fazy L2</translation>
    </message>
    <message>
        <source>L2 phase active power factor</source>
        <translation>Współczynnik mocy czynnej fazy L2</translation>
    </message>
    <message>
        <source>L2 phase apparent power</source>
        <translation>Moc pozorna fazy L2</translation>
    </message>
    <message>
        <source>L2 phase current</source>
        <translation>Prąd fazy L2</translation>
    </message>
    <message>
        <source>L2 phase reactive power</source>
        <translation>Moc bierna fazy L2</translation>
    </message>
    <message>
        <source>L2 phase tangent fi</source>
        <translation>Tangens fi fazy L2</translation>
    </message>
    <message>
        <source>L2 phase voltage</source>
        <translation>Napięcie fazowe L2</translation>
    </message>
    <message>
        <source>L2-L3 voltage</source>
        <translation>Napięcie międzyfazowe L2-L3</translation>
    </message>
    <message>
        <source>L3 line current</source>
        <translation>Prąd przewodowy L3</translation>
    </message>
    <message>
        <source>L3 phase active power</source>
        <translation>Moc czynna fazy L3</translation>
    </message>
    <message>
        <source>L3 phase active power factor</source>
        <translation>Współczynnik mocy czynnej fazy L3</translation>
    </message>
    <message>
        <source>L3 phase apparent power</source>
        <translation>Moc pozorna fazy L3</translation>
    </message>
    <message>
        <source>L3 phase current</source>
        <translation>Prąd fazy L3</translation>
    </message>
    <message>
        <source>L3 phase reactive power</source>
        <translation>Moc bierna fazy L3</translation>
    </message>
    <message>
        <source>L3 phase tangent fi</source>
        <translation>Tangens fi fazy L3</translation>
    </message>
    <message>
        <source>L3 phase voltage</source>
        <translation>Napięcie fazowe L3</translation>
    </message>
    <message>
        <source>L3-L1 voltage</source>
        <translation>Napięcie międzyfazowe L3-L1</translation>
    </message>
    <message>
        <source>Lower threshold of the input quantity</source>
        <translation>Dolny próg wielkości wejściowej</translation>
    </message>
    <message>
        <source>Lower threshold of the output scaling</source>
        <translation>Dolny próg skalowania wyjścia</translation>
    </message>
    <message>
        <source>Mode Alarms</source>
        <translation>Tryb Alarmy</translation>
    </message>
    <message>
        <source>Mode Analog Outputs</source>
        <translation>Tryb Wyjścia analogowe</translation>
    </message>
    <message>
        <source>Mode Parameters</source>
        <translation>Tryb Parametry</translation>
    </message>
    <message>
        <source>Month*100+day</source>
        <translation>Miesiąc*100+dzień</translation>
    </message>
    <message>
        <source>Output 1 - quantity</source>
        <translation>Wyjście 1 - wielkość</translation>
    </message>
    <message>
        <source>Output 1 - switching off value</source>
        <translation>Wyjście 1 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Output 1 - switching on value</source>
        <translation>Wyjście 1 - wartość załączenia</translation>
    </message>
    <message>
        <source>Output 2 - quantity</source>
        <translation>Wyjście 2 - wielkość</translation>
    </message>
    <message>
        <source>Output 2 - switching off value</source>
        <translation>Wyjście 2 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Output 2 - switching on value</source>
        <translation>Wyjście 2 - wartość załączenia</translation>
    </message>
    <message>
        <source>Output 3 - quantity</source>
        <translation>Wyjście 3 - wielkość</translation>
    </message>
    <message>
        <source>Output 3 - switching off value</source>
        <translation>Wyjście 3 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Output 3 - switching on value</source>
        <translation>Wyjście 3 - wartość załączenia</translation>
    </message>
    <message>
        <source>Output 4 - quantity</source>
        <translation>Wyjście 4 - wielkość</translation>
    </message>
    <message>
        <source>Output 4 - switching off value</source>
        <translation>Wyjście 4 - wartość wyłączenia</translation>
    </message>
    <message>
        <source>Output 4 - switching on value</source>
        <translation>Wyjście 4 - wartość załączenia</translation>
    </message>
    <message>
        <source>Output1 - high limit</source>
        <translation>Wyjście1 - granica górna</translation>
    </message>
    <message>
        <source>Output1 - low limit</source>
        <translation>Wyjście1 - granica dolna</translation>
    </message>
    <message>
        <source>Output1 - quantity</source>
        <translation>Wyjście1 - wielkość</translation>
    </message>
    <message>
        <source>Output2 - high limit</source>
        <translation>Wyjście2 - granica górna</translation>
    </message>
    <message>
        <source>Output2 - low limit</source>
        <translation>Wyjście2 - granica dolna</translation>
    </message>
    <message>
        <source>Output2 - quantity</source>
        <translation>Wyjście2 - wielkość</translation>
    </message>
    <message>
        <source>Output3 - high limit</source>
        <translation>Wyjście3 - granica górna</translation>
    </message>
    <message>
        <source>Output3 - low limit</source>
        <translation>Wyjście3 - granica dolna</translation>
    </message>
    <message>
        <source>Output3 - quantity</source>
        <translation>Wyjście3 - wielkość</translation>
    </message>
    <message>
        <source>Powers - min, max</source>
        <translation>Moce - min, max</translation>
    </message>
    <message>
        <source>Powers - time(min, max)</source>
        <translation>Moce - czas (min, max)</translation>
    </message>
    <message>
        <source>Process variables</source>
        <translation>Zmienne procesowe</translation>
    </message>
    <message>
        <source>Quantity on the analogue output</source>
        <translation>Wielkość na wyjściu analogowym</translation>
    </message>
    <message>
        <source>Quantity on the continuous output</source>
        <translation>Wielkość na wyjściu analogowym</translation>
    </message>
    <message>
        <source>Quantity on the pulse input</source>
        <translation>Wielkość na wejściu impulsowym</translation>
    </message>
    <message>
        <source>Quantity on the pulse output</source>
        <translation>Wielkość na wyjściu impulsowym</translation>
    </message>
    <message>
        <source>Quantity on the relay output</source>
        <translation>Wielkość na wyjściu przekaźnikowym</translation>
    </message>
    <message>
        <source>Range of the continuous output(0-0..20;1-4..20mA)</source>
        <translation>Zakres wyjścia analogowego (0-0..20; 1-4..20 mA)</translation>
    </message>
    <message>
        <source>Ratio of current transformer</source>
        <translation>Przekładnia przekładnika prądowego</translation>
    </message>
    <message>
        <source>Ratio of voltage transformer</source>
        <translation>Przekładnia przekładnika napięciowego</translation>
    </message>
    <message>
        <source>Reactive energy from external counter</source>
        <translation>Energia bierna z licznika zewnętrznego</translation>
    </message>
    <message>
        <source>Relay output</source>
        <translation>Wyjście przekaźnikowe</translation>
    </message>
    <message>
        <source>Relay output state</source>
        <translation>Stan wyjścia przekaźnikowego</translation>
    </message>
    <message>
        <source>Relay output state (b2b1b0=P3P2P1)</source>
        <translation>Stan wyjść przekaźnikowych (b2b1b0=P3P2P1)</translation>
    </message>
    <message>
        <source>Relay output state (b3b2b1b0=P4P3P2P1)</source>
        <translation>Stan wyjść przekaźnikowych (b3b2b1b0=P4P3P2P1)</translation>
    </message>
    <message>
        <source>Security code</source>
        <translation>Kod zabezpieczający</translation>
    </message>
    <message>
        <source>Service parameters</source>
        <translation>Parametry serwisowe</translation>
    </message>
    <message>
        <source>Setup mode parameters</source>
        <translation>Parametry trybu konfiguracji</translation>
    </message>
    <message>
        <source>State of the relay output</source>
        <translation>Stan wyjścia przekaźnikowego</translation>
    </message>
    <message>
        <source>Switch off value</source>
        <translation>Wartość wyłączenia</translation>
    </message>
    <message>
        <source>Switch on value</source>
        <translation>Wartość załączenia</translation>
    </message>
    <message>
        <source>Synch average power with RTC</source>
        <translation>Synchronizacja mocy średniej z zegarem RTC</translation>
    </message>
    <message>
        <source>Synch. average power Pav</source>
        <translation>Synchronizacja mocy średniej Pav</translation>
    </message>
    <message>
        <source>Synchronization with RTC</source>
        <translation>Synchronizacja z zegarem RTC</translation>
    </message>
    <message>
        <source>THD I1</source>
        <translation>THD I1</translation>
    </message>
    <message>
        <source>THD I2</source>
        <translation>THD I2</translation>
    </message>
    <message>
        <source>THD I3</source>
        <translation>THD I3</translation>
    </message>
    <message>
        <source>THD U1</source>
        <translation>THD U1</translation>
    </message>
    <message>
        <source>THD U2</source>
        <translation>THD U2</translation>
    </message>
    <message>
        <source>THD U3</source>
        <translation>THD U3</translation>
    </message>
    <message>
        <source>THD of L1 phase current</source>
        <translation>THD prądu fazy L1</translation>
    </message>
    <message>
        <source>THD of L1 phase voltage</source>
        <translation>THD napięcia fazy L1</translation>
    </message>
    <message>
        <source>THD of L2 phase current</source>
        <translation>THD prądu fazy L2</translation>
    </message>
    <message>
        <source>THD of L2 phase voltage</source>
        <translation>THD napięcia fazy L2</translation>
    </message>
    <message>
        <source>THD of L3 phase current</source>
        <translation>THD prądu fazy L3</translation>
    </message>
    <message>
        <source>THD of L3 phase voltage</source>
        <translation>THD napięcia fazy L3</translation>
    </message>
    <message>
        <source>Tariffs</source>
        <translation>Taryfy</translation>
    </message>
    <message>
        <source>Time Setting</source>
        <translation>Ustawienie czasu</translation>
    </message>
    <message>
        <source>Time in format Hour*100+minutes</source>
        <translation>Czas w formacie godzina*100+minuty</translation>
    </message>
    <message>
        <source>Time on average active power</source>
        <translation>Czas uśredniania mocy czynnej</translation>
    </message>
    <message>
        <source>Time on average active power Pav(1-15,2-30,3-60min)</source>
        <translation>Czas uśredniania mocy czynnej Pav (1-15, 2-30, 3-60 min)</translation>
    </message>
    <message>
        <source>Time setting</source>
        <translation>Ustawienie czasu</translation>
    </message>
    <message>
        <source>Time-hour,minute</source>
        <translation>Czas - godzina, minuta</translation>
    </message>
    <message>
        <source>Upper threshold of the input quantity</source>
        <translation>Górny próg wielkości wejściowej</translation>
    </message>
    <message>
        <source>Upper threshold of the output scaling</source>
        <translation>Górny próg skalowania wyjścia</translation>
    </message>
    <message>
        <source>Voltages and current - min, max</source>
        <translation>Napięcia i prądy - min, max</translation>
    </message>
    <message>
        <source>Voltages i currents - time(min,max)</source>
        <translation>Napięcia i prądy - czas (min, max)</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Rok</translation>
    </message>
    <message>
        <source>tangent fi</source>
        <translation>tangens fi</translation>
    </message>
    <message>
        <source>tangent fi(=Q/P)</source>
        <translation>tangens fi (=Q/P)</translation>
    </message>
    <message>
        <source> - min</source>
        <translation> - min</translation>
    </message>
    <message>
        <source> - max</source>
        <translation> - max</translation>
    </message>
    <message>
        <source>- min</source>
        <translation>- min</translation>
    </message>
    <message>
        <source>- max</source>
        <translation>- max</translation>
    </message>
    <message>
        <source> (min)</source>
        <translation> (min)</translation>
    </message>
    <message>
        <source> (max)</source>
        <translation> (max)</translation>
    </message>
    <message>
        <source>	Connection to %1</source>
        <translation>	Połączenie z %1</translation>
    </message>
    <message>
        <source>	Transmission error with %1</source>
        <translation>	Błąd transmisji z %1</translation>
    </message>
    <message>
        <source>	Bad configuration %1</source>
        <translation>	Błędna konfiguracja %1</translation>
    </message>
    <message>
        <source>	Start of alarm %1</source>
        <translation>	Początek alarmu %1</translation>
    </message>
    <message>
        <source>	End of alarm %1</source>
        <translation>	Koniec alarmu %1</translation>
    </message>
    <message>
        <source>%1 harmonic of %2</source>
        <translation>%1. harmoniczna: %2</translation>
    </message>
    <message>
        <source>Impossible request</source>
        <translation>Żądanie niemożliwe do wykonania</translation>
    </message>
    <message>
        <source>Parameter read-only</source>
        <translation>Parametr tylko do odczytu</translation>
    </message>
    <message>
        <source>Out of range</source>
        <translation>Poza zakresem</translation>
    </message>
    <message>
        <source>No transmission with %1</source>
        <translation>Brak transmisji z %1</translation>
    </message>
    <message>
        <source>: no such device</source>
        <translation>: nie ma takiego urządzenia</translation>
    </message>
    <message>
        <source>: permission denied; add your user to the group &quot;dialout&quot; (sudo adduser $USER dialout), then log out and log in again</source>
        <translation>: brak uprawnień; dodaj swojego użytkownika do grupy &quot;dialout&quot; (sudo adduser $USER dialout), a potem wyloguj się i zaloguj ponownie</translation>
    </message>
    <message>
        <source>: busy, in use by another program</source>
        <translation>: zajęty, używany przez inny program</translation>
    </message>
    <message>
        <source>: not a serial port</source>
        <translation>: to nie jest port szeregowy</translation>
    </message>
    <message>
        <source>: cannot be opened</source>
        <translation>: nie można otworzyć</translation>
    </message>
    <message>
        <source>: cannot be reached</source>
        <translation>: nie można nawiązać połączenia</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>About ...</source>
        <translation>O programie...</translation>
    </message>
    <message>
        <source>Kavrel - Service Program for TR5, TR5B, VR5, VR5B, TR8</source>
        <translation>Kavrel - program serwisowy dla TR5, TR5B, VR5, VR5B, TR8</translation>
    </message>
    <message>
        <source>The Kavrel developers</source>
        <translation>Twórcy programu Kavrel</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Wersja %1</translation>
    </message>
    <message>
        <source>Free software under the GNU General Public License, version 3 or later. It comes with ABSOLUTELY NO WARRANTY.</source>
        <translation>Wolne oprogramowanie na licencji GNU General Public License w wersji 3 lub późniejszej. Program jest dostarczany BEZ JAKIEJKOLWIEK GWARANCJI.</translation>
    </message>
</context>
<context>
    <name>TDialogKonfig</name>
    <message>
        <source>Device List</source>
        <translation>Lista urządzeń</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Dodaj</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Usuń</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Find meters…</source>
        <translation>Szukaj mierników…</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adres</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Opis</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a slave address: enter a whole number from 1 to 247.</source>
        <translation>„%1” nie jest adresem urządzenia podrzędnego: wpisz liczbę całkowitą od 1 do 247.</translation>
    </message>
    <message>
        <source>%1 at address %2</source>
        <translation>%1 pod adresem %2</translation>
    </message>
    <message>
        <source>Already in the list: %1.</source>
        <translation>Już na liście: %1.</translation>
    </message>
</context>
<context>
    <name>TDialogPort</name>
    <message>
        <source>Port settings</source>
        <translation>Ustawienia portu</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Prędkość transmisji:</translation>
    </message>
    <message>
        <source>Link type:</source>
        <translation>Rodzaj łącza:</translation>
    </message>
    <message>
        <source>RS485 card</source>
        <translation>Karta RS485</translation>
    </message>
    <message>
        <source>KX7 converter</source>
        <translation>Konwerter KX7</translation>
    </message>
    <message>
        <source>Settings:</source>
        <translation>Ustawienia:</translation>
    </message>
    <message>
        <source>1- ASCII 8N1 - 8 data bits, lack of parity, stop bit</source>
        <translation>1- ASCII 8N1 - 8 bitów danych, bez parzystości, bit stopu</translation>
    </message>
    <message>
        <source>2- ASCII 7E1 - 7 data bits, even parity, stop bit</source>
        <translation>2- ASCII 7E1 - 7 bitów danych, parzystość parzysta, bit stopu</translation>
    </message>
    <message>
        <source>3 - ASCII 7O1 - 7 data bits, odd parity, stop bit</source>
        <translation>3 - ASCII 7O1 - 7 bitów danych, parzystość nieparzysta, bit stopu</translation>
    </message>
    <message>
        <source>4 - RTU 8N2 - 8 data bits, lack of parity, 2 stop bit</source>
        <translation>4 - RTU 8N2 - 8 bitów danych, bez parzystości, 2 bity stopu</translation>
    </message>
    <message>
        <source>5 - RTU 8E1 - 8 data bits, even parity,stop bit</source>
        <translation>5 - RTU 8E1 - 8 bitów danych, parzystość parzysta, bit stopu</translation>
    </message>
    <message>
        <source>6 - RTU 8O1 - 8 data bits, odd parity, stop bit</source>
        <translation>6 - RTU 8O1 - 8 bitów danych, parzystość nieparzysta, bit stopu</translation>
    </message>
    <message>
        <source>7 - RTU 8N1 - 8 data bits, stop bit</source>
        <translation>7 - RTU 8N1 - 8 bitów danych, bit stopu</translation>
    </message>
    <message>
        <source>Network serial server (TCP)</source>
        <translation>Sieciowy serwer portu szeregowego (TCP)</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>name or IP address</source>
        <translation>nazwa lub adres IP</translation>
    </message>
    <message>
        <source>TCP port:</source>
        <translation>Port TCP:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>: no such device on this computer</source>
        <translation>: brak takiego urządzenia w tym komputerze</translation>
    </message>
    <message>
        <source>No permission to open %1. Add your user to the group &quot;%2&quot; (sudo adduser %3 %2), then log out and log in again.</source>
        <translation>Brak uprawnień do otwarcia %1. Dodaj swojego użytkownika do grupy „%2” (sudo adduser %3 %2), a następnie wyloguj się i zaloguj ponownie.</translation>
    </message>
    <message>
        <source>%1 is in use by another program.</source>
        <translation>%1 jest używany przez inny program.</translation>
    </message>
    <message>
        <source>: connected</source>
        <translation>: połączono</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Komunikat</translation>
    </message>
    <message>
        <source>Incorrect address</source>
        <translation>Nieprawidłowy adres</translation>
    </message>
    <message>
        <source>Incorrect port</source>
        <translation>Nieprawidłowy port</translation>
    </message>
</context>
<context>
    <name>TDialogProgram</name>
    <message>
        <source>Parameter programming</source>
        <translation>Programowanie parametrów</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>Parameter/Value</source>
        <translation>Parametr/Wartość</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wartość</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Zastosuj</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
    <message>
        <source>Not a number</source>
        <translation>To nie jest liczba</translation>
    </message>
    <message>
        <source>Out of range</source>
        <translation>Poza zakresem</translation>
    </message>
    <message>
        <source>Out of range: allowed %1 to %2</source>
        <translation>Poza zakresem: dozwolone od %1 do %2</translation>
    </message>
</context>
<context>
    <name>TExtrema</name>
    <message>
        <source>Voltages and currents</source>
        <translation>Napięcia i prądy</translation>
    </message>
    <message>
        <source>Powers</source>
        <translation>Moce</translation>
    </message>
    <message>
        <source>Coefficients</source>
        <translation>Współczynniki</translation>
    </message>
    <message>
        <source>3-phase parameters</source>
        <translation>Parametry 3-fazowe</translation>
    </message>
    <message>
        <source>THD harmonics</source>
        <translation>Odkształcenie THD</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>Wielkość</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maksimum</translation>
    </message>
    <message>
        <source>Time min</source>
        <translation>Czas min</translation>
    </message>
    <message>
        <source>Time max</source>
        <translation>Czas max</translation>
    </message>
    <message>
        <source>Extreme values</source>
        <translation>Wartości ekstremalne</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>Voltages</source>
        <translation>Napięcia</translation>
    </message>
    <message>
        <source>Currents</source>
        <translation>Prądy</translation>
    </message>
    <message>
        <source>Power P</source>
        <translation>Moc P</translation>
    </message>
    <message>
        <source>Power Q</source>
        <translation>Moc Q</translation>
    </message>
    <message>
        <source>Power S</source>
        <translation>Moc S</translation>
    </message>
    <message>
        <source>Power factor</source>
        <translation>Współczynnik mocy</translation>
    </message>
    <message>
        <source>THD</source>
        <translation>THD</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Tabela</translation>
    </message>
    <message>
        <source>List of events</source>
        <translation>Lista zdarzeń</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Czas</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Opis</translation>
    </message>
</context>
<context>
    <name>THarmoniczne</name>
    <message>
        <source>Voltage L1</source>
        <translation>Napięcie L1</translation>
    </message>
    <message>
        <source>Voltage L2</source>
        <translation>Napięcie L2</translation>
    </message>
    <message>
        <source>Voltage L3</source>
        <translation>Napięcie L3</translation>
    </message>
    <message>
        <source>Current L1</source>
        <translation>Prąd L1</translation>
    </message>
    <message>
        <source>Current L2</source>
        <translation>Prąd L2</translation>
    </message>
    <message>
        <source>Current L3</source>
        <translation>Prąd L3</translation>
    </message>
    <message>
        <source>Harmonics</source>
        <translation>Harmoniczne</translation>
    </message>
    <message>
        <source>List of values:</source>
        <translation>Lista wartości:</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Przywróć</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
    <message>
        <source>Harmonics of the current and voltage run</source>
        <translation>Harmoniczne przebiegu prądu i napięcia</translation>
    </message>
</context>
<context>
    <name>TMDIChild</name>
    <message>
        <source>Charts</source>
        <translation>Wykresy</translation>
    </message>
    <message>
        <source>Phase voltages trends  [V]</source>
        <translation>Przebiegi napięć fazowych  [V]</translation>
    </message>
    <message>
        <source>Phase Voltages</source>
        <translation>Napięcia fazowe</translation>
    </message>
    <message>
        <source>Currents</source>
        <translation>Prądy</translation>
    </message>
    <message>
        <source>Powers</source>
        <translation>Moce</translation>
    </message>
    <message>
        <source>Power factors</source>
        <translation>Współczynniki mocy</translation>
    </message>
    <message>
        <source>Power factor</source>
        <translation>Współczynnik mocy</translation>
    </message>
    <message>
        <source>Others</source>
        <translation>Inne</translation>
    </message>
    <message>
        <source>Current [A]</source>
        <translation>Prąd [A]</translation>
    </message>
    <message>
        <source>Active power P1, P2, P3  [ W ]</source>
        <translation>Moc czynna P1, P2, P3  [ W ]</translation>
    </message>
    <message>
        <source>Power P, Pav [ W ]</source>
        <translation>Moc P, Pav [ W ]</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Wyczyść</translation>
    </message>
    <message>
        <source>Auto X</source>
        <translation>Auto X</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>W górę</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>W dół</translation>
    </message>
    <message>
        <source>Trace time</source>
        <translation>Czas przebiegu</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Drukuj</translation>
    </message>
    <message>
        <source>Print running trend</source>
        <translation>Drukuj bieżący przebieg</translation>
    </message>
    <message>
        <source>&amp;Save Settings</source>
        <translation>&amp;Zapisz ustawienia</translation>
    </message>
    <message>
        <source>Save to file devices and COM settings</source>
        <translation>Zapisz do pliku urządzenia i ustawienia portu COM</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Koniec</translation>
    </message>
    <message>
        <source>Program exit</source>
        <translation>Zakończenie programu</translation>
    </message>
    <message>
        <source>&amp;Programming...</source>
        <translation>&amp;Programowanie...</translation>
    </message>
    <message>
        <source>Programming of meter parameters</source>
        <translation>Programowanie parametrów miernika</translation>
    </message>
    <message>
        <source>&amp;COM setting...</source>
        <translation>Ustawienia portu &amp;COM...</translation>
    </message>
    <message>
        <source>Configuration serial port</source>
        <translation>Konfiguracja portu szeregowego</translation>
    </message>
    <message>
        <source>&amp;Table</source>
        <translation>&amp;Tabela</translation>
    </message>
    <message>
        <source>&amp;Charts</source>
        <translation>&amp;Wykresy</translation>
    </message>
    <message>
        <source>&amp;Harmonics...</source>
        <translation>&amp;Harmoniczne...</translation>
    </message>
    <message>
        <source>Harmonic analyses</source>
        <translation>Analiza harmonicznych</translation>
    </message>
    <message>
        <source>&amp;Device list...</source>
        <translation>&amp;Lista urządzeń...</translation>
    </message>
    <message>
        <source>Choose a device from the list</source>
        <translation>Wybierz urządzenie z listy</translation>
    </message>
    <message>
        <source>&amp;Extreme</source>
        <translation>&amp;Ekstrema</translation>
    </message>
    <message>
        <source>Displaying of minimal and maximal value</source>
        <translation>Wyświetlanie wartości minimalnych i maksymalnych</translation>
    </message>
    <message>
        <source>&amp;Cascade</source>
        <translation>&amp;Kaskadowo</translation>
    </message>
    <message>
        <source>&amp;Tile</source>
        <translation>&amp;Sąsiadująco</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;O programie...</translation>
    </message>
    <message>
        <source>E&amp;xport...</source>
        <translation>E&amp;ksport...</translation>
    </message>
    <message>
        <source>Export what the active window shows as a CSV file</source>
        <translation>Eksportuj zawartość aktywnego okna do pliku CSV</translation>
    </message>
    <message>
        <source>Service &amp;report...</source>
        <translation>&amp;Raport serwisowy...</translation>
    </message>
    <message>
        <source>Write a PDF report of the current meter</source>
        <translation>Zapisz raport PDF bieżącego miernika</translation>
    </message>
    <message>
        <source>Save meter &amp;setup...</source>
        <translation>Zapisz &amp;konfigurację miernika...</translation>
    </message>
    <message>
        <source>Read every setup parameter of the meter into a file</source>
        <translation>Odczytaj wszystkie parametry konfiguracji miernika do pliku</translation>
    </message>
    <message>
        <source>Compare &amp;with file...</source>
        <translation>Porównaj z &amp;plikiem...</translation>
    </message>
    <message>
        <source>List the setup parameters that differ from a file</source>
        <translation>Pokaż parametry konfiguracji różniące się od pliku</translation>
    </message>
    <message>
        <source>&amp;Restore from file...</source>
        <translation>&amp;Odtwórz z pliku...</translation>
    </message>
    <message>
        <source>Write the setup parameters of a file into the meter</source>
        <translation>Zapisz parametry konfiguracji z pliku do miernika</translation>
    </message>
    <message>
        <source>Measurements table</source>
        <translation>Tabela pomiarów</translation>
    </message>
    <message>
        <source>Charts</source>
        <translation>Wykresy</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drukuj</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Koniec</translation>
    </message>
    <message>
        <source>Device List</source>
        <translation>Lista urządzeń</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Plik</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Opcje</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Język</translation>
    </message>
    <message>
        <source>&amp;System</source>
        <translation>Język &amp;systemu</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>&amp;Okno</translation>
    </message>
    <message>
        <source>Zarządzanie oknami</source>
        <translation>Zarządzanie oknami</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>Pomo&amp;c</translation>
    </message>
    <message>
        <source>Device address</source>
        <translation>Adres urządzenia</translation>
    </message>
    <message>
        <source>Cannot open file %1.</source>
        <translation>Nie można otworzyć pliku %1.</translation>
    </message>
    <message>
        <source>waiting for </source>
        <translation>oczekiwanie na </translation>
    </message>
    <message>
        <source>The active window has nothing to export.</source>
        <translation>Aktywne okno nie ma nic do eksportu.</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Eksport</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Pliki CSV (*.csv)</translation>
    </message>
    <message>
        <source>Cannot write file %1.</source>
        <translation>Nie można zapisać pliku %1.</translation>
    </message>
    <message>
        <source>Exported to %1</source>
        <translation>Wyeksportowano do %1</translation>
    </message>
    <message>
        <source>Service report</source>
        <translation>Raport serwisowy</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>Pliki PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Reading the meter...</source>
        <translation>Odczyt miernika...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Reading %1...</source>
        <translation>Odczyt: %1...</translation>
    </message>
    <message>
        <source>Service report written to %1</source>
        <translation>Raport serwisowy zapisano do %1</translation>
    </message>
    <message>
        <source>Service report written to %1, incomplete: %2</source>
        <translation>Raport serwisowy zapisano do %1, niekompletny: %2</translation>
    </message>
    <message>
        <source>Save meter setup</source>
        <translation>Zapisz konfigurację miernika</translation>
    </message>
    <message>
        <source>Setup files (*.txt)</source>
        <translation>Pliki konfiguracji (*.txt)</translation>
    </message>
    <message>
        <source>Meter setup not saved: </source>
        <translation>Konfiguracja miernika nie została zapisana: </translation>
    </message>
    <message>
        <source>%1 setup items saved to %2</source>
        <translation>Zapisano %1 pozycji konfiguracji do %2</translation>
    </message>
    <message>
        <source>Compare with file</source>
        <translation>Porównaj z plikiem</translation>
    </message>
    <message>
        <source>Setup files (*.txt);;All files (*)</source>
        <translation>Pliki konfiguracji (*.txt);;Wszystkie pliki (*)</translation>
    </message>
    <message>
        <source>Restore from file</source>
        <translation>Odtwórz z pliku</translation>
    </message>
    <message>
        <source>Cannot create file %1.</source>
        <translation>Nie można utworzyć pliku %1.</translation>
    </message>
    <message>
        <source>The language changes when Kavrel is started again.</source>
        <translation>Język zmieni się po ponownym uruchomieniu programu Kavrel.</translation>
    </message>
</context>
<context>
    <name>TScanDialog</name>
    <message>
        <source>Find meters</source>
        <translation>Szukaj mierników</translation>
    </message>
    <message>
        <source>Try every baud rate and mode</source>
        <translation>Sprawdź każdą prędkość transmisji i tryb</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Dodaj</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adres</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Ustawienia</translation>
    </message>
    <message>
        <source>Add to device list</source>
        <translation>Dodaj do listy urządzeń</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
    <message>
        <source>Addresses</source>
        <translation>Adresy</translation>
    </message>
    <message>
        <source>to</source>
        <translation>do</translation>
    </message>
    <message>
        <source>The port is not open: choose one under COM setting.</source>
        <translation>Port nie jest otwarty: wybierz go w ustawieniach portu COM.</translation>
    </message>
    <message>
        <source>The first address must not be above the last.</source>
        <translation>Pierwszy adres nie może być większy od ostatniego.</translation>
    </message>
    <message>
        <source>This takes about %1</source>
        <translation>To potrwa około %1</translation>
    </message>
    <message>
        <source> (%1 line settings)</source>
        <translation> (ustawienia łącza: %1)</translation>
    </message>
    <message>
        <source> at %1</source>
        <translation> przy %1</translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>Wyszukiwanie...</translation>
    </message>
    <message>
        <source>Scan cancelled: %1 found.</source>
        <translation>Wyszukiwanie przerwane, znaleziono: %1.</translation>
    </message>
    <message>
        <source>Address %1 at %2%3: %4 found</source>
        <translation>Adres %1 przy %2%3, znaleziono: %4</translation>
    </message>
    <message>
        <source>, second try</source>
        <translation>, druga próba</translation>
    </message>
    <message>
        <source>No meter answered.</source>
        <translation>Żaden miernik nie odpowiedział.</translation>
    </message>
    <message>
        <source>Scan done: %1 found.</source>
        <translation>Wyszukiwanie zakończone, znaleziono: %1.</translation>
    </message>
    <message>
        <source>Choose the model of the meter at address %1.</source>
        <translation>Wybierz model miernika pod adresem %1.</translation>
    </message>
</context>
<context>
    <name>TServiceReport</name>
    <message>
        <source>Service report: %1 %2</source>
        <translation>Raport serwisowy: %1 %2</translation>
    </message>
    <message>
        <source>Meter and link</source>
        <translation>Miernik i łącze</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adres</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nazwa</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Opis</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>none</source>
        <translation>brak</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation>Prędkość transmisji</translation>
    </message>
    <message>
        <source>Transmission mode</source>
        <translation>Tryb transmisji</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Łącze</translation>
    </message>
    <message>
        <source>KX7 converter</source>
        <translation>Konwerter KX7</translation>
    </message>
    <message>
        <source>RS485 card</source>
        <translation>Karta RS485</translation>
    </message>
    <message>
        <source>Made</source>
        <translation>Sporządzono</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Live values</source>
        <translation>Wartości bieżące</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Kod</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wartość</translation>
    </message>
    <message>
        <source>THD and harmonics</source>
        <translation>THD i harmoniczne</translation>
    </message>
    <message>
        <source>Order</source>
        <translation>Rząd</translation>
    </message>
    <message>
        <source>Extreme values</source>
        <translation>Wartości ekstremalne</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Czas</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>Wielkość</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Konfiguracja</translation>
    </message>
    <message>
        <source>Item</source>
        <translation>Pozycja</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>nie odczytano</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Zdarzenia</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Zdarzenie</translation>
    </message>
    <message>
        <source>INCOMPLETE REPORT: not read: %1</source>
        <translation>RAPORT NIEKOMPLETNY: nie odczytano: %1</translation>
    </message>
</context>
<context>
    <name>TSetupDialog</name>
    <message>
        <source>Compare with file</source>
        <translation>Porównaj z plikiem</translation>
    </message>
    <message>
        <source>Restore from file</source>
        <translation>Odtwórz z pliku</translation>
    </message>
    <message>
        <source>Item</source>
        <translation>Pozycja</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Kod</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Opis</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Plik</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>Miernik</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Jednostka</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Wynik</translation>
    </message>
    <message>
        <source>Limits</source>
        <translation>Zakres</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Zapisz</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
    <message>
        <source>Cannot read %1: %2.</source>
        <translation>Nie można odczytać %1: %2.</translation>
    </message>
    <message>
        <source>Cannot read %1: larger than a setup file can be (1 MB).</source>
        <translation>Nie można odczytać %1: plik większy niż dopuszczalny dla pliku konfiguracji (1 MB).</translation>
    </message>
    <message>
        <source>%1 is refused, nothing is sent: %2</source>
        <translation>%1 odrzucono, nic nie wysłano: %2</translation>
    </message>
    <message>
        <source>The meter&apos;s setup could not be read: %1</source>
        <translation>Nie udało się odczytać konfiguracji miernika: %1</translation>
    </message>
    <message>
        <source>%1 holds the setup of the file: no item differs.</source>
        <translation>%1 ma konfigurację z pliku: żadna pozycja się nie różni.</translation>
    </message>
    <message>
        <source>%1 of %2 items of %3 differ from the file. Write the file&apos;s values?</source>
        <translation>%1 z %2 pozycji miernika %3 różni się od pliku. Zapisać wartości z pliku?</translation>
    </message>
    <message>
        <source>%1 of %2 items of %3 differ from the file.</source>
        <translation>%1 z %2 pozycji miernika %3 różni się od pliku.</translation>
    </message>
    <message>
        <source>%1 of %2 items written.</source>
        <translation>Zapisano %1 z %2 pozycji.</translation>
    </message>
    <message>
        <source>written</source>
        <translation>zapisano</translation>
    </message>
    <message>
        <source>refused: %1</source>
        <translation>odrzucono: %1</translation>
    </message>
    <message>
        <source>not confirmed: %1</source>
        <translation>niepotwierdzone: %1</translation>
    </message>
</context>
</TS>
