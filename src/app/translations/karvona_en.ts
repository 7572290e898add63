<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Messages</name>
    <message>
        <source>
이 파일을 삭제하시겠습니까?</source>
        <translation>
Do you want to delete this file?</translation>
    </message>
    <message>
        <source>인식된 영상은 </source>
        <translation>Recognized images are saved in </translation>
    </message>
    <message>
        <source> 에 저장됩니다.  </source>
        <translation>.  </translation>
    </message>
    <message>
        <source>추출된 문자는 </source>
        <translation>Extracted characters are saved in </translation>
    </message>
    <message>
        <source>훈련파일 정보를 제대로 읽지 못했습니다.</source>
        <translation>The training file's information could not be read.</translation>
    </message>
    <message>
        <source>prefixes.trn 훈련 파일을 찾을 수 없습니다.  </source>
        <translation>Training file prefixes.trn not found.  </translation>
    </message>
    <message>
        <source>numbers.trn 훈련 파일을 찾을 수 없습니다.  </source>
        <translation>Training file numbers.trn not found.  </translation>
    </message>
    <message>
        <source>prefix.txt 파일을 찾을 수 없습니다.  </source>
        <translation>File prefix.txt not found.  </translation>
    </message>
</context>
<context>
    <name>Statistics</name>
    <message>
        <source>

%5d장(%.1f%%)은 검증되었으나 확실하지 않아 확인이 필요함.  </source>
        <translation>

%5d (%.1f%%) validated but not sure: to be checked.  </translation>
    </message>
    <message>
        <source>읽지 못한 파일 %d장:</source>
        <translation>Not read: %d files:</translation>
    </message>
    <message>
        <source>파일 없음</source>
        <translation>missing</translation>
    </message>
    <message>
        <source>파일이 아님</source>
        <translation>not a file</translation>
    </message>
    <message>
        <source>읽기 오류</source>
        <translation>cannot be read</translation>
    </message>
    <message>
        <source>JPEG, PNG, BMP 영상이 아님</source>
        <translation>not a JPEG, PNG or BMP image</translation>
    </message>
    <message>
        <source>너무 큼</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>손상되었거나 잘림</source>
        <translation>damaged or cut short</translation>
    </message>
    <message>
        <source>백업하지 못한 파일 %d장:</source>
        <translation>Not copied into the archive: %d files:</translation>
    </message>
    <message>
        <source>외 %d장</source>
        <translation>and %d more</translation>
    </message>
    <message>
        <source> [ 모든 파일 인식 결과 ]</source>
        <translation> [ Results of recognizing all files ]</translation>
    </message>
    <message>
        <source>총 파일 수 %5d장 中 %5d장(%.1f%%) 인식

: %5d장(%.1f%%)을 완벽히 인식하였으며,  
  %5d장(%.1f%%)을 10자 이상 인식하였음.  

수행시간은 %dsec(장당 %d ms)임.  </source>
        <translation>%5d files in all, %5d (%.1f%%) recognized

: %5d (%.1f%%) recognized perfectly,  
  %5d (%.1f%%) recognized with 10 or more characters.  

Time taken: %d sec (%d ms per file).  </translation>
    </message>
</context>
<context>
    <name>karvona::app::CFolderDialog</name>
    <message>
        <source>폴더 찾아보기</source>
        <translation>Browse for Folder</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>디렉토리 경로를 선택하십시오.</source>
        <translation>Select the folder.</translation>
    </message>
</context>
<context>
    <name>karvona::app::CKarvonaDlg</name>
    <message>
        <source>파일명</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>파일경로</source>
        <translation>File path</translation>
    </message>
    <message>
        <source> [ 파일 관리 ] </source>
        <translation> [ File management ] </translation>
    </message>
    <message>
        <source> [ 모든 파일 인식 ] </source>
        <translation> [ Recognize all files ] </translation>
    </message>
    <message>
        <source> [ 인식 단계 보기 ] </source>
        <translation> [ Recognition steps ] </translation>
    </message>
    <message>
        <source>파일 추가</source>
        <translation>Add file</translation>
    </message>
    <message>
        <source>폴더 추가</source>
        <translation>Add folder</translation>
    </message>
    <message>
        <source>목록 초기화</source>
        <translation>Clear list</translation>
    </message>
    <message>
        <source>장</source>
        <translation>pcs</translation>
    </message>
    <message>
        <source>폴더</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>파일 특정 폴더로 이동</source>
        <translation>Move ticked files to the folder</translation>
    </message>
    <message>
        <source>이동 후 리스트에서 삭제</source>
        <translation>Remove after moving</translation>
    </message>
    <message>
        <source>모든 파일 인식 실행</source>
        <translation>Recognize all files</translation>
    </message>
    <message>
        <source>옵션</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>인식 영상 백업</source>
        <translation>Back up images</translation>
    </message>
    <message>
        <source>파일명 인식결과로 변경</source>
        <translation>Name after the result</translation>
    </message>
    <message>
        <source>파일명 그대로 두기</source>
        <translation>Keep file name</translation>
    </message>
    <message>
        <source>추출 문자 이미지 저장</source>
        <translation>Save character images</translation>
    </message>
    <message>
        <source>1. 색상 추출</source>
        <translation>1. Colour</translation>
    </message>
    <message>
        <source>2. 문자열 구조</source>
        <translation>2. Code layout</translation>
    </message>
    <message>
        <source>3. 식별자 인식</source>
        <translation>3. Code reading</translation>
    </message>
    <message>
        <source>수행시간</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>검토</source>
        <translation>review</translation>
    </message>
    <message>
        <source>열기</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>BITMAP 이미지(*.bmp)</source>
        <translation>BITMAP images (*.bmp)</translation>
    </message>
    <message>
        <source>JPEG 이미지(*.jpg)</source>
        <translation>JPEG images (*.jpg)</translation>
    </message>
    <message>
        <source>이동하지 못한 파일 %1개:</source>
        <translation>Files not moved (%1):</translation>
    </message>
    <message>
        <source>휴지통으로 옮기지 못했습니다. 파일은 그대로 있습니다:
%1</source>
        <translation>The file could not be moved to the trash; it stays where it is:
%1</translation>
    </message>
</context>
</TS>
