// The texts every built-in string file must yield, written out independently of the
// files themselves, so a slip in a file or in its embedding shows up as a difference.
#include "expected_texts.h"

// One text per line with its number; clang-format would reflow the table.
// clang-format off
const char16_t* const kExpectedNames[kLanguageCount] = {
    u"English", // 900
    u"簡体中文", // 901
    u"繁體中文", // 902
    u"Deutsche", // 903
    u"Français", // 904
    u"日本の", // 905
    u"한국의", // 906
    u"русском", // 907
    u"português", // 908
    u"Indonesia", // 909
    u"العربية", // 910
    u"tiếng Việt", // 911
    u"อักษรไทย", // 912
};

const char16_t* const kExpectedTexts[kLanguageCount][kMessageCount] = {
    // 0: English
    {
        u"View Status", // 0
        u"Install", // 1
        u"Erase All", // 2
        u"Version", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### There is no installation of any fingerprint ###", // 10
        u"Currently installed", // 11
        u"Could install more", // 12
        u"Fingerprint database is full, reinstall after erase", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"Delete Process", // 20
        u"Please confirm, Try to delete all installed fingerprint !!!", // 21
        u"◆◆◆ Please input authorized fingerprint ◆◆◆", // 22
        u"### Remove fingerprint fails, re-operate ###", // 23
        u"★★ Erase all successfully, reinstall neede ★★", // 24
        u"### Erase time-out, re-operation ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"Installation Process", // 30
        u" ### Appears disk problem, install the operating aborted ###", // 31
        u" ### Installation time-out, please re-operate ###", // 32
        u"### Authorized fingerprint input failure ###", // 33
        u"★★Please input NEW fingerprint ★★", // 34
        u"★★ installation successfully ★★", // 35
        u"### New fingerprint input failed ###", // 36
    },
    // 1: Simplified Chinese
    {
        u"检视指纹状态", // 0
        u"安装新指纹", // 1
        u"抹除全部指纹", // 2
        u"版本检查", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### 目前没有安装任何指纹 ###", // 10
        u"目前安装指纹数", // 11
        u"尚可安装数", // 12
        u"指纹安装数目已满, 请抹除指纹后重新安装", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"删除作业", // 20
        u"请再次确认, 要删除所有已安装的指纹资料 !!!", // 21
        u"◆◆◆ 请刷授权指纹 ◆◆◆", // 22
        u"### 删除作业失败,请重新操作 ###", // 23
        u"★★ 删除作业成功,请重新安装指纹 ★★", // 24
        u"### 删除作业逾时, 请重新操作 ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"安装作业", // 30
        u"### 磁碟出现问题, 安装作业中止 ###", // 31
        u"### 安装作业逾时, 请重新操作 ###", // 32
        u"### 授权指纹输入失败 ###", // 33
        u"★★安装进行中...请刷新增指纹★★", // 34
        u"★★ 安装作业成功 ★★", // 35
        u"### 新增指纹输入失败 ###", // 36
    },
    // 2: Traditional Chinese
    {
        u"檢視指紋狀態", // 0
        u"安裝新指紋", // 1
        u"抹除全部指紋", // 2
        u"版本檢查", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### 目前沒有安裝任何指紋 ###", // 10
        u"目前安裝指紋數", // 11
        u"尚可安裝數", // 12
        u"指紋安裝數目已滿, 請抹除指紋後重新安裝", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"刪除作業", // 20
        u"請再次確認, 要刪除所有已安裝的指紋資料 !!!", // 21
        u"◆◆◆ 請刷授權指紋 ◆◆◆", // 22
        u"### 刪除作業失敗,請重新操作 ###", // 23
        u"★★ 刪除作業成功,請重新安裝指紋 ★★", // 24
        u"### 刪除作業逾時, 請重新操作 ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"安裝作業", // 30
        u"### 磁碟出現問題, 安裝作業中止 ###", // 31
        u"### 安裝作業逾時, 請重新操作 ###", // 32
        u"### 授權指紋輸入失敗 ###", // 33
        u"★★安裝進行中...請刷新增指紋★★", // 34
        u"★★ 安裝作業成功 ★★", // 35
        u"### 新增指紋輸入失敗 ###", // 36
    },
    // 3: German
    {
        u"Ansicht", // 0
        u"Installieren", // 1
        u"Alle löschen", // 2
        u"Version", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"###Es ist keine Installation von jedem Fingerabdruck ### ", // 10
        u"Installierten Fingerabdruck", // 11
        u"Fair-Installationen", // 12
        u"Die Zahl der Fingerabdruck-Installation voll ist ", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"Auftrag löschen", // 20
        u"Bitte bestätigen Sie nochmals, um alle Daten zu löschen installiert Fingerabdruck !!!", // 21
        u"◆◆◆ Bitte geben Sie die autorisierten Fingerabdruck ◆◆◆", // 22
        u"### Entfernen Auftrag fehlschlägt, Wieder betreiben ###", // 23
        u"★★ den Job erfolgreich zu löschen, setzen Sie die Fingerabdruck ★★", // 24
        u"### Den Job im Laufe der Zeit löschen, Re-Operation ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"Installationsprozess", // 30
        u" ### Erscheint Plattenproblem, installieren Sie das Betriebs abgebrochen ###", // 31
        u" ### Einbauzeit aus, gehen Sie bitte noch einmal ###", // 32
        u"### Genehmigtes Fingerabdruckeingabefehler ### ", // 33
        u"★★ Bitte geben neue Fingerabdruck ★★", // 34
        u"★★ Installation erfolgreich ★★", // 35
        u"### New Fingerabdruckeingabefehler ###", // 36
    },
    // 4: French
    {
        u"Afficher l'état", // 0
        u"Installation", // 1
        u"Tout effacer", // 2
        u"Version", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### Il n'y a pas d'installation de toute empreinte digitale ###", // 10
        u" actuellement installé", // 11
        u" Peut être installé", // 12
        u"Le nombre d'installation d'empreintes digitales est plein, réinstaller après avoir essuyé les empreintes digitales", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"Supprimer emploi", // 20
        u"Se il vous plaît confirmer à nouveau, supprimer toutes les empreintes digitales données !!!", // 21
        u"◆◆◆ Se il vous plaît entrer empreintes digitales autorisé ◆◆◆", // 22
        u"### Supprimer échoué, se il vous plaît aller à nouveau ###", // 23
        u"★★ Supprimer processus se fait ★★", // 24
        u"### Supprimer le temps de traitement des ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"Le processus d'installation", // 30
        u"### Problème de disque apparaît, l'installation abandonner ###", // 31
        u"### Le temps d'installation, Se il vous plaît faire à nouveau ###", // 32
        u"\u00A0### Entrée d'empreintes digitales autorisée a omis ###", // 33
        u"★★ Se il vous plaît entrer nouvelle empreinte ★★", // 34
        u"★★ Succès de l'installation ★★", // 35
        u"### Nouvelle installation d'empreintes digitales n'a ### ", // 36
    },
    // 5: Japanese
    {
        u"表示状態", // 0
        u"インストール", // 1
        u"指紋を消去", // 2
        u"バージョン", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### 指紋がインストールされていません ###", // 10
        u"指紋", // 11
        u"はインストールでき", // 12
        u"指紋の数は、フルインストール", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"削除", // 20
        u"全ての指紋データがインストールされ、削除するために再確認してください", // 21
        u"◆◆◆ 認定された指紋を入力してください ◆◆◆", // 22
        u"### 削除ジョブが失敗し ###", // 23
        u"★★削除ジョブが成功 ★★", // 24
        u"### 削除ジョブがタイムアウト ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"インストールプロセス", // 30
        u"###ディスクの問題は、インストールジョブが中止されます ###", // 31
        u"### インストール作業は時間がかかりすぎる ###", // 32
        u"###認可指紋入力の失敗 ###", // 33
        u"★★ 新しい指紋を入力してください ★★", // 34
        u"★★インストー成功★★", // 35
        u"###新しい指紋入力の失敗 ###", // 36
    },
    // 6: Korean
    {
        u"보기 지문 상태", // 0
        u"설치 지문", // 1
        u"지문을 지우기", // 2
        u"버전 질의", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"###지문의 어떤 설치가 없습니다 ###", // 10
        u"현재 설치된 지문의 수", // 11
        u"공정 설치", // 12
        u"### 설치된 지문이 가득 ###", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"작업을 삭제", // 20
        u"설치된 모든 지문 데이터를 삭제, 다시 한 번 확인하시기 바랍니다 !!!", // 21
        u"◆◆◆인증 지문을 입력하세요 ◆◆◆", // 22
        u"### 작업이 실패 삭제 ###", // 23
        u"★★성공적으로 작업을 삭제 ★★", // 24
        u"### 작업이 너무 오래 걸립니다 삭제 ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"설치", // 30
        u"### 문제를 식별, 설치 작업이 중단 ###", // 31
        u"### 설치 작업이 너무 오래 걸려서 ###", // 32
        u"###공인 지문 입력 실패 ###", // 33
        u"★★새로운 지문을 입력하세요★★", // 34
        u"★★성공적인 설치 작업★★", // 35
        u"###새로운 지문 입력 실패###", // 36
    },
    // 7: Russian
    {
        u" Просмотр", // 0
        u" установка", // 1
        u"удалять", // 2
        u" Версии", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### Там нет установка любых отпечатков пальцев ###", // 10
        u" отпечаток пальца", // 11
        u" пространство", // 12
        u"### нет больше места для новой установки ###", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u" удалить", // 20
        u" Все отпечатков пальцев, будут удалены !!!", // 21
        u"◆◆◆Пожалуйста, введите отпечаток авторизации ◆◆◆", // 22
        u"### Не удалось удалить отпечатки пальцев ###", // 23
        u"★★Отпечатков пальцев удалите успеха ★★", // 24
        u"### удаление занимает слишком много времени ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u" установка", // 30
        u"### Проблемы Дисковые, установка задание прервано ###", // 31
        u"### Установка занимает слишком много времени ###", // 32
        u"### Уставный пальцев отпечатков Неисправность входной ###", // 33
        u"★★Пожалуйста, введите новый отпечаток пальца★★", // 34
        u"★★Успешная установка работа ★★", // 35
        u"### Новый провал ввода отпечатков пальцев ###", // 36
    },
    // 8: Portuguese
    {
        u"Exibir status", // 0
        u"instalar", // 1
        u"apagar", // 2
        u"versão", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### Não há a instalação de qualquer impressão digital ###", // 10
        u"atualmente instalada", // 11
        u"Foi possível instalar mais", // 12
        u"Banco de dados de impressões digitais é completo, reinstalar depois de apagar", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"excluir", // 20
        u"Por favor, confirme, Tente apagar todas as impressões digitais instalado !!!", // 21
        u"◆◆◆ Por favor coloque impressão digital autorizada ◆◆◆", // 22
        u"### Remover impressão digital falhar, re-operar ###", // 23
        u"★★Apagar tudo com sucesso, reinstale necessário ★★", // 24
        u"### Apague time-out, re-operação ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u" Instalação", // 30
        u"### Aparece problema de disco, instalar a operação abortada ###", // 31
        u"### Instalação time-out, por favor volte a operar ###", // 32
        u"### Falha de entrada de impressões digitais Autorizado ###", // 33
        u"★★ Por favor coloque NOVO impressão digital ★★", // 34
        u"★★instalação com sucesso ★★", // 35
        u"### De entrada Nova impressão digital falhou ###", // 36
    },
    // 9: Indonesian
    {
        u"Lihat Status", // 0
        u"Instal", // 1
        u"Hapus", // 2
        u"Versi", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### Tidak ada instalasi perangkat sidik jari ###", // 10
        u"Saat ini, jumlah sidik jari yang terpasang", // 11
        u"Instalasi masih bisa menghitung", // 12
        u"Setelah menginstal jumlah penuh, menghapus menginstal ulang", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"Hapus pekerjaan", // 20
        u"Silakan konfirmasi sekali lagi, untuk menghapus semua sidik jari !!!", // 21
        u"◆◆◆ Silakan sikat sidik jari yang berwenang ◆◆◆", // 22
        u"### Hapus pekerjaan gagal, instal ulang operasi ###", // 23
        u"★★ menghapus pekerjaan berhasil, instal ulang sidik jari ★★", // 24
        u"Lebih dari pekerjaan, silakan kembali beroperasi ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"Pekerjaan instalasi", // 30
        u"### Masalah Disk terjadi, pekerjaan instalasi dibatalkan ###", // 31
        u"### Lembur kerja Instalasi, silakan kembali operasi ###", // 32
        u"### Kegagalan masukan sidik jari Resmi ###", // 33
        u"★★ Segarkan instalasi dengan sidik jari ★★", // 34
        u"★★ Instalasi pekerjaan berhasil ★★", // 35
        u"### Kegagalan masukan sidik jari baru ###", // 36
    },
    // 10: Arabic
    {
        u"رأي", // 0
        u"تركيب", // 1
        u"محو", // 2
        u"نسخة", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### لا يوجد تثبيت أي بصمات ###", // 10
        u"في الوقت الحاضر، وعدد من بصمة تثبيت", // 11
        u"التثبيت لا تزال تعول", // 12
        u"بعد تثبيت عدد بصمة مليء، ومحو بصمات الأصابع إعادة تثبيت", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"حذف المهمة", // 20
        u"يرجى تأكيد مرة أخرى، لحذف تم تثبيت كافة المعلومات بصمة !!!", // 21
        u"◆◆◆ يرجى فرشاة بصمة المأذون ◆◆◆", // 22
        u"### حذف فشل مهمة، إعادة تثبيت التشغيل ###", // 23
        u"★★ حذف المهمة بنجاح، إعادة تثبيت بصمة ★★", // 24
        u"### أكثر من فرصة عمل، وإعادة تشغيل ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"تثبيت الوظيفة", // 30
        u"### مشاكل القرص، يتم إحباط العمل تركيب ###", // 31
        u"### وقال عندما أكثر من عمل التثبيت، يرجى إعادة تشغيل ###", // 32
        u"### المأذون فشل إدخال بصمة ###", // 33
        u"★★ تركيب ... الرجاء تحديث كتبها بصمة ★★", // 34
        u"★★ وظيفة تركيب بنجاح ★★", // 35
        u"### نيو فشل إدخال بصمة ###", // 36
    },
    // 11: Vietnamese
    {
        u"View", // 0
        u"Cài đặt", // 1
        u"Xóa", // 2
        u"Phiên bản", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### Không có cài đặt bất kỳ dấu vân tay ###", // 10
        u"Hiện nay, số lượng các dấu vân tay được cài đặt", // 11
        u"Cài đặt vẫn còn có thể đếm được", // 12
        u"Số lượng vân tay được cài đặt đầy, xóa dấu vân tay sau khi cài đặt lại", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"Xóa công việc", // 20
        u"Xin khẳng định lại một lần nữa, để xóa tất cả các thông tin !!!", // 21
        u"◆◆◆ hãy đánh dấu vân tay được ủy quyền ◆◆◆", // 22
        u"### Xóa công việc không, cài đặt lại các hành ###", // 23
        u"★★ xóa lệnh thành công, cài đặt lại dấu vân tay ★★", // 24
        u"### Hơn công ăn việc làm để xóa, tái hoạt động ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"Công trình cài đặt", // 30
        u"### Xuất hiện vấn đề đĩa, cài đặt các công việc được hủy bỏ ###", // 31
        u"### Hơn công việc cài đặt, hãy tái hoạt động ###", // 32
        u"### Ủy quyền vân tay thất bại đầu vào ###", // 33
        u"★★ cài đặt ... Hãy làm mới bằng vân tay ★★", // 34
        u"★★ Công việc cài đặt thành công ★★", // 35
        u"### New thất bại đầu vào dấu vân tay ###", // 36
    },
    // 12: Thai
    {
        u"มุมมอง", // 0
        u"ติดตั้ง", // 1
        u"ลบ", // 2
        u"รุ่น", // 3
        u"--------", // 4
        u"--------", // 5
        u"--------", // 6
        u"--------", // 7
        u"--------", // 8
        u"--------", // 9
        u"### มีการติดตั้งลายนิ้วมือใด ๆ ไม่เป็น ###", // 10
        u"ปัจจุบันจำนวนของลายนิ้วมือที่ติดตั้ง", // 11
        u"การติดตั้งยังคงสามารถนับ", // 12
        u"จำนวนของลายนิ้วมือที่ติดตั้งเต็มลบลายนิ้วมือหลังจากติดตั้ง", // 13
        u"-----", // 14
        u"-----", // 15
        u"-----", // 16
        u"-----", // 17
        u"-----", // 18
        u"-----", // 19
        u"ลบงาน", // 20
        u"กรุณายืนยันอีกครั้งหนึ่งที่จะลบข้อมูลทั้งหมดของลายนิ้วมือที่ได้รับการติดตั้ง !!!", // 21
        u"◆◆◆กรุณาแปรงลายนิ้วมือที่ได้รับอนุญาต◆◆◆", // 22
        u"### ลบงานที่ล้มเหลวในการดำเนินงานติดตั้ง ###", // 23
        u"★★ลบงานที่ประสบความสำเร็จติดตั้งลายนิ้วมือ★★", // 24
        u"### มากกว่า งานลบอีกครั้งการดำเนินงาน ###", // 25
        u"-----", // 26
        u"-----", // 27
        u"-----", // 28
        u"-----", // 29
        u"งานติดตั้ง", // 30
        u"### ปรากฏปัญหาดิสก์ ติดตั้งงานถูกยกเลิก ###", // 31
        u"### มากกว่า งานติดตั้งอีกครั้งโปรดดำเนินการ ###", // 32
        u"### การป้อนข้อมูลลายนิ้วมือผู้มีอำนาจล้มเหลว ###", // 33
        u"★★การติดตั้ง ... โปรดรีเฟรชโดยลายนิ้วมือ★★", // 34
        u"★★ งานติดตั้งประสบความสำเร็จ ★★", // 35
        u"### การป้อนข้อมูลลายนิ้วมือใหม่ล้มเหลว ###", // 36
    },
};
// clang-format on
